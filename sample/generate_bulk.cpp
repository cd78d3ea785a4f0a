// generate_bulk.cpp -- writes the bulky files of the sample patch: textures, sounds, track maps,
// music and a movie, made up from a seeded generator so that nothing large is kept in the
// repository.
//
//   generate_bulk OUT_DIR      writes every file under OUT_DIR, folders included
//   generate_bulk --list       prints the names, as the sample's file lists write them
//
// Every byte comes from integer arithmetic and the generator below, so each run on each machine
// writes the same files. Smooth gradients and tones pack well; noise, crowd sound and the
// movie's snow pack badly, which gives the archives a realistic mix.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

typedef std::vector<uint8_t> Bytes;

enum BulkKind { BULK_TEXTURE, BULK_SOUND, BULK_TRACK_MAP, BULK_MOVIE };

enum {
    TEXTURE_SKY, TEXTURE_ASPHALT, TEXTURE_GRASS, TEXTURE_SIGNS, TEXTURE_ROCK,
    SOUND_ENGINE, SOUND_ENGINE_HIGH, SOUND_CROWD, SOUND_HORN, SOUND_MUSIC,
};

// One generated file. `size` is the texture's edge in pixels, the sound's length in tenths of
// a second, the map's edge in cells or the movie's frame count.
struct BulkFile {
    const char* name;
    BulkKind kind;
    int style;
    int size;
    uint32_t seed;
};

static const BulkFile BULK_FILES[] = {
    {"data\\textures\\sky.bmp",               BULK_TEXTURE,   TEXTURE_SKY,       256, 11},
    {"data\\textures\\asphalt.bmp",           BULK_TEXTURE,   TEXTURE_ASPHALT,   256, 12},
    {"data\\textures\\grass.bmp",             BULK_TEXTURE,   TEXTURE_GRASS,     256, 13},
    {"data\\textures\\harbour signs.bmp",     BULK_TEXTURE,   TEXTURE_SIGNS,     128, 14},
    {"data\\textures\\quarry_rock.bmp",       BULK_TEXTURE,   TEXTURE_ROCK,      256, 15},
    {"data\\sounds\\engine_idle.wav",         BULK_SOUND,     SOUND_ENGINE,       20, 21},
    {"data\\sounds\\engine_high.wav",         BULK_SOUND,     SOUND_ENGINE_HIGH,  15, 22},
    {"data\\sounds\\crowd.wav",               BULK_SOUND,     SOUND_CROWD,        25, 23},
    {"data\\sounds\\horn.wav",                BULK_SOUND,     SOUND_HORN,         10, 24},
    {"data\\levels\\harbour.map",             BULK_TRACK_MAP, 0,                  96, 31},
    {"data\\levels\\quarry.map",              BULK_TRACK_MAP, 0,                 112, 32},
    {"data\\textures\\hires\\asphalt_hi.bmp", BULK_TEXTURE,   TEXTURE_ASPHALT,   512, 41},
    {"data\\textures\\hires\\rock_hi.bmp",    BULK_TEXTURE,   TEXTURE_ROCK,      512, 42},
    {"data\\music\\season_theme.wav",         BULK_SOUND,     SOUND_MUSIC,        60, 43},
    {"movies\\intro.mvf",                     BULK_MOVIE,     0,                  48, 44},
};

// --- the generator: xorshift32, fixed here so that no library can change the sequence ---

static uint32_t next_random(uint32_t* state)
{
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x;
}

static uint32_t seeded_state(uint32_t seed)
{
    uint32_t state = seed * 2654435761u + 0x9E3779B9u;
    return state != 0 ? state : 1;
}

static int clamp_int(int value, int low, int high)
{
    return value < low ? low : value > high ? high : value;
}

static void put_u16(Bytes* out, uint32_t value)
{
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

static void put_u32(Bytes* out, uint32_t value)
{
    put_u16(out, value & 0xFFFF);
    put_u16(out, value >> 16);
}

static void put_text(Bytes* out, const char* text)
{
    out->insert(out->end(), text, text + std::strlen(text));
}

// --- textures: 24-bit bottom-up bitmaps ---

// Blocky value noise: random corners every `cell` pixels, blended linearly in between.
static int value_noise(const std::vector<uint8_t>& corners, int grid, int cell, int x, int y)
{
    int cx = x / cell, cy = y / cell, fx = x % cell, fy = y % cell;
    int a = corners[cy * grid + cx], b = corners[cy * grid + cx + 1];
    int c = corners[(cy + 1) * grid + cx], d = corners[(cy + 1) * grid + cx + 1];
    int top = a * (cell - fx) + b * fx;
    int bottom = c * (cell - fx) + d * fx;
    return (top * (cell - fy) + bottom * fy) / (cell * cell);
}

static void texture_pixel(int style, int edge, int x, int y, int rock, uint32_t* rng,
                          uint8_t bgr[3])
{
    int r = 0, g = 0, b = 0;
    int noise = static_cast<int>(next_random(rng) & 31) - 16;
    switch (style) {
    case TEXTURE_SKY:
        r = 90 + y * 120 / edge; g = 140 + y * 90 / edge; b = 230 - y * 20 / edge;
        break;
    case TEXTURE_ASPHALT:
        r = g = b = 70 + noise * 2 + ((x / 8 + y / 8) % 2) * 4;
        break;
    case TEXTURE_GRASS:
        r = 40 + noise; g = 120 + noise * 2 + (y % 16) * 2; b = 30 + noise / 2;
        break;
    case TEXTURE_SIGNS:
        r = ((x / 16 + y / 16) % 2) ? 230 : 20;
        g = (y / 32) % 2 ? 200 : r;
        b = 20;
        break;
    default:
        r = rock + noise / 2; g = rock - 8 + noise / 2; b = rock - 20 + noise / 2;
        break;
    }
    bgr[0] = static_cast<uint8_t>(clamp_int(b, 0, 255));
    bgr[1] = static_cast<uint8_t>(clamp_int(g, 0, 255));
    bgr[2] = static_cast<uint8_t>(clamp_int(r, 0, 255));
}

static Bytes make_texture(int style, int edge, uint32_t seed)
{
    uint32_t rng = seeded_state(seed);
    const int cell = 32, grid = edge / cell + 1;
    std::vector<uint8_t> corners(static_cast<size_t>(grid * grid));
    for (uint8_t& corner : corners)
        corner = static_cast<uint8_t>(90 + next_random(&rng) % 110);

    const uint32_t row_bytes = static_cast<uint32_t>(edge) * 3;  // a multiple of 4 for our edges
    const uint32_t pixel_bytes = row_bytes * static_cast<uint32_t>(edge);
    Bytes out;
    put_text(&out, "BM");
    put_u32(&out, 54 + pixel_bytes);
    put_u32(&out, 0);
    put_u32(&out, 54);
    put_u32(&out, 40);
    put_u32(&out, static_cast<uint32_t>(edge));
    put_u32(&out, static_cast<uint32_t>(edge));
    put_u16(&out, 1);
    put_u16(&out, 24);
    for (int i = 0; i < 6; i++)
        put_u32(&out, i == 1 ? pixel_bytes : 0);
    for (int y = 0; y < edge; y++) {
        for (int x = 0; x < edge; x++) {
            uint8_t bgr[3];
            int rock = value_noise(corners, grid, cell, x, y);
            texture_pixel(style, edge, x, y, rock, &rng, bgr);
            out.insert(out.end(), bgr, bgr + 3);
        }
    }
    return out;
}

// --- sounds: 16-bit PCM, 22050 Hz ---

enum { SAMPLE_RATE = 22050, HALF_TURN = 32768 };

// Sine of a phase given in 1/65536 of a turn, scaled to +-amplitude; Bhaskara's rational
// approximation, exact enough for sound and free of floating point.
static int integer_sine(uint32_t phase, int amplitude)
{
    int64_t x = phase & 0xFFFF;
    int sign = 1;
    if (x >= HALF_TURN) {
        x -= HALF_TURN;
        sign = -1;
    }
    int64_t p = x * (HALF_TURN - x);
    int64_t h2 = static_cast<int64_t>(HALF_TURN) * HALF_TURN;
    return sign * static_cast<int>(amplitude * 4 * p / (5 * h2 / 4 - p));
}

static uint32_t phase_step(int hertz)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(hertz) * 65536 / SAMPLE_RATE);
}

static const int MELODY_HERTZ[] = {262, 330, 392, 523, 392, 330, 294, 349, 440, 349, 294, 247};

static int sound_sample(int style, uint32_t i, uint32_t count, uint32_t* rng, int* low_pass)
{
    switch (style) {
    case SOUND_ENGINE:
    case SOUND_ENGINE_HIGH: {
        int base = style == SOUND_ENGINE ? 70 : 150;
        int throb = 256 + integer_sine(i * phase_step(6), 64);
        int tone = integer_sine(i * phase_step(base), 7000) +
                   integer_sine(i * phase_step(base * 2), 3500) +
                   integer_sine(i * phase_step(base * 3), 1500);
        return tone * throb / 256;
    }
    case SOUND_CROWD: {
        int white = static_cast<int>(next_random(rng) & 0xFFFF) - 0x8000;
        *low_pass += (white - *low_pass) / 4;
        return *low_pass / 3;
    }
    case SOUND_HORN: {
        int fade = static_cast<int>(count - i) * 256 / static_cast<int>(count);
        int tone = integer_sine(i * phase_step(415), 6000) +
                   integer_sine(i * phase_step(523), 6000);
        return tone * fade / 256;
    }
    default: {
        uint32_t note_length = SAMPLE_RATE / 4;
        int hertz = MELODY_HERTZ[(i / note_length) % (sizeof MELODY_HERTZ / sizeof *MELODY_HERTZ)];
        int envelope = 256 - static_cast<int>(i % note_length * 256 / note_length);
        int tone = integer_sine(i * phase_step(hertz), 9000) +
                   integer_sine(i * phase_step(hertz / 2), 4000);
        return tone * envelope / 256;
    }
    }
}

static Bytes make_sound(int style, int tenths, uint32_t seed)
{
    uint32_t rng = seeded_state(seed);
    const uint32_t channels = style == SOUND_MUSIC ? 2 : 1;
    const uint32_t count = static_cast<uint32_t>(tenths) * SAMPLE_RATE / 10;
    const uint32_t data_bytes = count * channels * 2;
    Bytes out;
    put_text(&out, "RIFF");
    put_u32(&out, 36 + data_bytes);
    put_text(&out, "WAVEfmt ");
    put_u32(&out, 16);
    put_u16(&out, 1);
    put_u16(&out, channels);
    put_u32(&out, SAMPLE_RATE);
    put_u32(&out, SAMPLE_RATE * channels * 2);
    put_u16(&out, channels * 2);
    put_u16(&out, 16);
    put_text(&out, "data");
    put_u32(&out, data_bytes);
    int low_pass = 0;
    for (uint32_t i = 0; i < count; i++) {
        int value = clamp_int(sound_sample(style, i, count, &rng, &low_pass), -32768, 32767);
        for (uint32_t c = 0; c < channels; c++)
            put_u16(&out, static_cast<uint32_t>(c == 0 ? value : value / 2) & 0xFFFF);
    }
    return out;
}

// --- track maps: structured text, a height grid and object placements ---

static Bytes make_track_map(int edge, uint32_t seed)
{
    uint32_t rng = seeded_state(seed);
    Bytes out;
    char line[64];
    std::snprintf(line, sizeof line, "; height map, %d x %d cells of 4 m\r\n", edge, edge);
    put_text(&out, line);
    std::snprintf(line, sizeof line, "cells = %d\r\n\r\n[heights]\r\n", edge);
    put_text(&out, line);
    int height = 100;
    for (int y = 0; y < edge; y++) {
        for (int x = 0; x < edge; x++) {
            height = clamp_int(height + static_cast<int>(next_random(&rng) % 7) - 3, 0, 999);
            std::snprintf(line, sizeof line, x + 1 < edge ? "%3d " : "%3d\r\n", height);
            put_text(&out, line);
        }
    }
    put_text(&out, "\r\n[objects]\r\n");
    static const char* const OBJECTS[] = {"tree", "barrier", "light", "tyres", "sign", "crane"};
    for (int i = 0; i < edge * 4; i++) {
        uint32_t r = next_random(&rng);
        std::snprintf(line, sizeof line, "%-8s x=%4u y=%4u turn=%3u\r\n", OBJECTS[r % 6],
                      (r >> 3) % (edge * 4u), (r >> 13) % (edge * 4u), (r >> 23) % 360u);
        put_text(&out, line);
    }
    return out;
}

// --- the movie: 8-bit frames of a moving gradient with snow ---

static Bytes make_movie(int frames, uint32_t seed)
{
    uint32_t rng = seeded_state(seed);
    const int width = 160, height = 120;
    Bytes out;
    put_text(&out, "TRVMOVIE");
    put_u16(&out, width);
    put_u16(&out, height);
    put_u32(&out, static_cast<uint32_t>(frames));
    for (int f = 0; f < frames; f++) {
        put_text(&out, "FRAM");
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) {
                uint32_t r = next_random(&rng);
                bool snow = (r & 3) == 0;
                int shade = (x + f * 3) / 2 + y / 4;
                out.push_back(static_cast<uint8_t>(snow ? r >> 8 : shade));
            }
        }
    }
    return out;
}

// --- writing ---

static Bytes make_bulk_file(const BulkFile& file)
{
    switch (file.kind) {
    case BULK_TEXTURE:   return make_texture(file.style, file.size, file.seed);
    case BULK_SOUND:     return make_sound(file.style, file.size, file.seed);
    case BULK_TRACK_MAP: return make_track_map(file.size, file.seed);
    default:             return make_movie(file.size, file.seed);
    }
}

// The host path of a listed name under `folder`: "\" becomes "/", which both hosts accept.
static std::string host_path(const char* folder, const char* name)
{
    std::string path = folder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
        path += '/';
    for (const char* c = name; *c; c++)
        path += *c == '\\' ? '/' : *c;
    return path;
}

static bool write_bytes(const std::string& path, const Bytes& bytes)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error)
        return false;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR | --list\n", argv[0]);
        return 1;
    }
    if (std::strcmp(argv[1], "--list") == 0) {
        for (const BulkFile& file : BULK_FILES)
            std::printf("%s\n", file.name);
        return 0;
    }
    uint64_t total = 0;
    for (const BulkFile& file : BULK_FILES) {
        std::string path = host_path(argv[1], file.name);
        Bytes bytes = make_bulk_file(file);
        if (!write_bytes(path, bytes)) {
            std::fprintf(stderr, "generate_bulk: cannot write %s\n", path.c_str());
            return 2;
        }
        total += bytes.size();
    }
    std::printf("generate_bulk: %zu files, %llu bytes in %s\n",
                sizeof BULK_FILES / sizeof *BULK_FILES, static_cast<unsigned long long>(total),
                argv[1]);
    return 0;
}
