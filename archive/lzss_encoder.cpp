// lzss_encoder.cpp -- the encoders, the process's and any others, and the LZSS coding of one
// input, read from its source, into one entry.
//
// Byte j of the entry goes to window position (1 + j) mod 4096. The encoder reads 17 bytes ahead
// and starts the tree with position 1; after each token it slides the window once per byte the
// token stood for: the node 17 positions ahead leaves the tree and takes the next input byte, and
// the next position goes into the tree, whose walk finds the match for the next token.
//
// The slides run in one layout of the tree, for LZ_WALK_SAMPLE insertions at a time (code_run,
// instantiated for each layout); between two runs choose_layout decides the next run's layout.
//
// The input is read a block at a time. Once the source has returned 0 (its end) or -1 (a
// failure), it is not asked again: the entry holds exactly the bytes read up to then.

#include "archive/lzss_internal.h"

#include <cstring>

#include "archive/host_files.h"

// The process's encoder: a one-thread pack codes with it, from and into the process's window.
static LzEncoder lz_process;

LzEncoder* lzss_new_encoder()
{
    LzEncoder* lz = static_cast<LzEncoder*>(host_allocate(sizeof(LzEncoder)));
    if (lz != nullptr)
        std::memset(lz->window, 0, sizeof lz->window);
    return lz;
}

void lzss_free_encoder(LzEncoder* lz) { host_release(lz); }

void lzss_get_window(const LzEncoder* lz, uint8_t* window)
{
    std::memcpy(window, lz->window, LZ_WINDOW_BYTES);
}

void lzss_set_window(LzEncoder* lz, const uint8_t* window)
{
    std::memcpy(lz->window, window, LZ_WINDOW_BYTES);
    std::memcpy(lz->window + LZ_WINDOW_BYTES, window, LZ_WRAP_COPY_BYTES);
}

// The encoder's input, read a block at a time into the encoder's input block.
struct InputBlock {
    LzSource source;
    uint8_t* block;
    size_t next;
    size_t end;
    bool ended;   // the source returned 0 or -1
    bool failed;  // it returned -1
};

// The next byte of the input, or -1 after its last.
static inline int read_byte(InputBlock* input)
{
    if (input->next == input->end) {
        if (input->ended)
            return -1;
        int64_t read = input->source.read(input->source.context, input->block, LZ_BLOCK_BYTES);
        if (read <= 0) {
            input->ended = true;
            input->failed = read < 0;
            return -1;
        }
        input->next = 0;
        input->end = static_cast<size_t>(read);
    }
    return input->block[input->next++];
}

// Where the coding of an entry stands, from one run of insertions to the next.
struct Coding {
    LzEncoder* lz;
    BitStream* stream;
    InputBlock input;
    int32_t position;        // the window position of the next byte to code
    int lookahead;           // bytes read and not yet coded: 0 to 17
    int match_length;        // what the last insertion found for the next token
    int32_t match_position;
    int slides;              // slides of the window still owed to the token put last
    int64_t count;           // bytes read
};

static int put_literal(BitStream* stream, uint8_t byte)
{
    return bits_put_field(stream, 0x100u | byte, 1 + 8);
}

static int put_pair(BitStream* stream, int32_t position, int length)
{
    uint32_t length_field = static_cast<uint32_t>(length - LZ_MIN_MATCH);
    return bits_put_field(stream, static_cast<uint32_t>(position) << LZ_LENGTH_BITS | length_field,
                          LZ_PAIR_BITS);
}

// Puts the next token, a literal or the match found last, and owes a slide for each byte it
// stands for. 0, or -1 when the stream failed.
static inline int put_token(Coding* coding)
{
    if (coding->match_length > coding->lookahead)
        coding->match_length = coding->lookahead;
    if (coding->match_length <= 1) {
        coding->slides = 1;
        return put_literal(coding->stream, coding->lz->window[coding->position]);
    }
    coding->slides = coding->match_length;
    return put_pair(coding->stream, coding->match_position, coding->match_length);
}

// Puts tokens and slides the window after them, with the tree in the layout `Node`, until
// LZ_WALK_SAMPLE insertions have been made or the whole input is coded. Returns the number of
// insertions, or LZ_STREAM_FAILED; `*visited` receives the number of nodes their walks visited.
template <typename Node>
static int code_run(Coding* coding, int* visited)
{
    LzEncoder* lz = coding->lz;
    int inserted = 0;
    *visited = 0;
    while (coding->lookahead > 0) {
        if (coding->slides == 0 && put_token(coding) != 0)
            return LZ_STREAM_FAILED;
        while (coding->slides > 0) {
            coding->slides--;
            int32_t incoming = (coding->position + LZ_MAX_MATCH) & LZ_WINDOW_MASK;
            tree_remove<Node>(lz, incoming);
            int c = read_byte(&coding->input);
            if (c >= 0) {
                store_window_byte(lz, incoming, static_cast<uint8_t>(c));
                coding->count++;
            } else {
                coding->lookahead--;
            }
            coding->position = (coding->position + 1) & LZ_WINDOW_MASK;
            if (coding->lookahead == 0)
                continue;
            Walk walk = tree_insert<Node>(lz, coding->position);
            coding->match_length = match_length_of(walk);
            coding->match_position = match_position_of(walk);
            *visited += walk.visits;
            if (++inserted == LZ_WALK_SAMPLE)
                return inserted;
        }
    }
    return inserted;
}

int64_t lzss_encode_entry(LzSource input, BitStream* stream)
{
    lzss_set_window(&lz_process, lzss_process_window());
    int64_t result = lzss_encode_entry_with(&lz_process, input, stream);
    lzss_get_window(&lz_process, lzss_process_window());
    return result;
}

int64_t lzss_encode_entry_with(LzEncoder* lz, LzSource source, BitStream* stream)
{
    Coding coding = {lz, stream, InputBlock{source, lz->input, 0, 0, false, false}, 1, 0, 0, 0,
                     0, 0};
    int c;
    while (coding.lookahead < LZ_MAX_MATCH && (c = read_byte(&coding.input)) >= 0)
        store_window_byte(lz, coding.position + coding.lookahead++, static_cast<uint8_t>(c));
    coding.count = coding.lookahead;
    tree_start(lz, coding.position);

    bool small = false;  // the tree is in small_tree
    while (coding.lookahead > 0) {
        int visited = 0;
        int inserted = small ? code_run<SmallTreeNode>(&coding, &visited)
                             : code_run<TreeNode>(&coding, &visited);
        if (inserted < 0)
            return inserted;
        if (inserted == LZ_WALK_SAMPLE)
            small = choose_layout(lz, small, visited);
    }
    if (coding.input.failed)
        return LZ_FILE_FAILED;
    if (bits_put_field(stream, LZ_END_POSITION, 1 + LZ_POSITION_BITS) != 0)
        return LZ_STREAM_FAILED;
    return coding.count;
}
