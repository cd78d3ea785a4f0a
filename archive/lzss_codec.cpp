// lzss_codec.cpp -- the LZSS encoder with its binary search tree, and the decoder.
//
// Node p of the tree (1 to 4095) stands for the 17 window bytes that start at position p; node
// 4096 is the root, whose `larger` field holds the top node; 0 means "none" in every field.
// Nodes are ordered by their 17-byte strings compared as unsigned bytes.
//
// `lz_window` holds the 4096 window bytes and, behind them, a copy of the first 16, so that the
// 17 bytes of any node can be read without wrapping. Every store goes through store_window_byte
// or store_history, which keep the copy.
//
// The decoder does not store into the window byte by byte. It decodes into `lz_output`, whose
// first 4096 bytes are a copy of the window turned so that the window byte just before the
// entry's first position comes last (load_history), and whose decoded bytes follow them; so the
// window byte at position p is the output byte `distance` places back, distance being the number
// of positions from p up to the current one, and a pair is a copy from that far back, overlapping
// its own output as the window does. When the block after the copy is full, its bytes go out and
// its last 4096 move to the front (write_output). At the entry's end the last 4096 bytes go back
// into the window in window order, with the copy of its first 16 (store_history): the window then
// holds what the encoder's holds after the same entry.

#include "archive/lzss_codec.h"

#include <cstring>

#include "archive/host_files.h"

enum {
    LZ_WRAP_COPY_BYTES = LZ_MAX_MATCH - 1,
    LZ_PAIR_BITS = 1 + LZ_POSITION_BITS + LZ_LENGTH_BITS,  // the longest token
    LZ_BLOCK_BYTES = 1 << 16,                              // file I/O block of the codec
    // The decoder reads this many tokens after one refill, without looking at the bit count.
    LZ_TOKENS_PER_REFILL = BITS_REFILL_MIN / LZ_PAIR_BITS,
    // copy_match copies in steps of 8 bytes and may write this many bytes past a match.
    LZ_COPY_OVERRUN = 7,
    // What the decoder may write past its block: it checks for a full block before each group
    // of tokens.
    LZ_OUTPUT_SLACK = LZ_TOKENS_PER_REFILL * LZ_MAX_MATCH + LZ_COPY_OVERRUN,
};

static_assert(LZ_TOKENS_PER_REFILL == 3 && LZ_TOKENS_PER_REFILL * LZ_PAIR_BITS <= BITS_REFILL_MIN,
              "one refill holds three whole tokens");
static_assert((LZ_MAX_MATCH + 7) / 8 * 8 - LZ_MAX_MATCH <= LZ_COPY_OVERRUN,
              "an 8-byte step copy of the longest match stays within the overrun");

enum { SMALLER, LARGER };  // the two children of a tree node

// The tree is kept in one of two layouts, which the encoder changes between as the walks of its
// insertions get longer or shorter (see tree_insert); both hold the same tree.
//
// A TreeNode holds the first 8 bytes of each child's string (as bits_load_word gives them), so
// that a visit can compare them before it reads the child's node or string. They stay valid: no
// window byte of a node in the tree changes while it is there.
struct TreeNode {
    int32_t parent;
    int32_t children[2];  // [SMALLER] and [LARGER]
    uint64_t child_words[2];
};

// A SmallTreeNode holds only the links: 8 bytes, so that the whole tree (32 KiB) and the window
// stay in the processor's first-level cache however deep the walks go.
struct SmallTreeNode {
    uint16_t parent;
    uint16_t children[2];
    uint16_t unused;
};

static_assert(LZ_ROOT_NODE <= UINT16_MAX, "every node number fits in a SmallTreeNode");

enum {
    LZ_WALK_SAMPLE = 4096,  // insertions between two looks at the length of the walks
    LZ_DEEP_WALK = 32,      // average visits per insertion above which the small nodes are used
    LZ_SHALLOW_WALK = 24,   // and below which the TreeNodes are used again
};

// What one encoder works with: the window with the copy of its first bytes, the search tree and
// the input block. The process has one, whose window the decoder shares; a pack on several
// threads gives each thread its own.
struct LzEncoder {
    uint8_t window[LZ_WINDOW_BYTES + LZ_WRAP_COPY_BYTES];
    TreeNode tree[LZ_WINDOW_BYTES + 1];
    SmallTreeNode small_tree[LZ_WINDOW_BYTES + 1];
    uint8_t input[LZ_BLOCK_BYTES];
};

static LzEncoder lz_process;
static uint8_t* const lz_window = lz_process.window;

// The decoder's output: a copy of the window, then the bytes decoded since the last write to the
// file, then room for the tokens decoded after the block is full and for a copy's overrun.
static uint8_t lz_output[LZ_WINDOW_BYTES + LZ_BLOCK_BYTES + LZ_OUTPUT_SLACK];
static uint8_t* const lz_output_start = lz_output + LZ_WINDOW_BYTES;

static void store_window_byte(LzEncoder* lz, int32_t position, uint8_t byte)
{
    lz->window[position] = byte;
    if (position < LZ_WRAP_COPY_BYTES)
        lz->window[LZ_WINDOW_BYTES + position] = byte;
}

LzEncoder* lzss_process_encoder() { return &lz_process; }

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

void lzss_reset_window() { std::memset(lz_process.window, 0, sizeof lz_process.window); }

// Makes `child` (possibly none) the SMALLER or LARGER child of `parent` (with the first word of
// its string, in a TreeNode).
static void set_child(TreeNode* tree, const uint8_t* window, int32_t parent, int side,
                      int32_t child)
{
    tree[parent].children[side] = child;
    tree[parent].child_words[side] = bits_load_word(window + child);
}

static void set_child(SmallTreeNode* tree, const uint8_t*, int32_t parent, int side, int32_t child)
{
    tree[parent].children[side] = static_cast<uint16_t>(child);
}

static void set_parent(TreeNode* tree, int32_t node, int32_t parent) { tree[node].parent = parent; }

static void set_parent(SmallTreeNode* tree, int32_t node, int32_t parent)
{
    tree[node].parent = static_cast<uint16_t>(parent);
}

// Makes `node` a leaf under `parent`.
template <typename Node>
static void attach(Node* tree, const uint8_t* window, int32_t parent, int side, int32_t node)
{
    set_child(tree, window, parent, side, node);
    tree[node] = Node{};
    set_parent(tree, node, parent);
}

// `child` (possibly none) takes the place of `old_node` under its parent, whose `larger` field
// is tested first; `old_node` leaves the tree.
template <typename Node>
static void splice_out(Node* tree, const uint8_t* window, int32_t old_node, int32_t child)
{
    int32_t parent = tree[old_node].parent;
    set_parent(tree, child, parent);
    if (tree[parent].children[LARGER] == old_node)
        set_child(tree, window, parent, LARGER, child);
    else if (tree[parent].children[SMALLER] == old_node)
        set_child(tree, window, parent, SMALLER, child);
    tree[old_node].parent = 0;
}

// `new_node` takes the place of `old_node`, which leaves the tree.
template <typename Node>
static void substitute(Node* tree, const uint8_t* window, int32_t old_node, int32_t new_node)
{
    int32_t parent = tree[old_node].parent;
    if (tree[parent].children[SMALLER] == old_node)
        set_child(tree, window, parent, SMALLER, new_node);
    else if (tree[parent].children[LARGER] == old_node)
        set_child(tree, window, parent, LARGER, new_node);
    tree[new_node] = tree[old_node];
    set_parent(tree, tree[new_node].children[SMALLER], new_node);
    set_parent(tree, tree[new_node].children[LARGER], new_node);
    tree[old_node].parent = 0;
}

template <typename Node>
static void tree_remove(Node* tree, const uint8_t* window, int32_t node)
{
    if (node == 0 || tree[node].parent == 0)
        return;
    int32_t smaller = tree[node].children[SMALLER];
    int32_t larger = tree[node].children[LARGER];
    if (larger == 0) {
        splice_out(tree, window, node, smaller);
    } else if (smaller == 0) {
        splice_out(tree, window, node, larger);
    } else {
        int32_t next = smaller;
        while (tree[next].children[LARGER] != 0)
            next = tree[next].children[LARGER];
        tree_remove(tree, window, next);
        substitute(tree, window, node, next);
    }
}

static void tree_remove(LzEncoder* lz, bool small, int32_t node)
{
    if (small)
        tree_remove(lz->small_tree, lz->window, node);
    else
        tree_remove(lz->tree, lz->window, node);
}

// The number of zero bytes at the top of a non-zero word.
static int leading_zero_bytes(uint64_t word)
{
#if defined(__GNUC__)
    return __builtin_clzll(word) / 8;
#else
    int count = 0;
    for (; (word >> 56) == 0; word <<= 8)
        count++;
    return count;
#endif
}

// The 17 bytes of the string being inserted, loaded once for all the comparisons of a walk.
struct Key {
    uint64_t first;   // bytes 0 to 7, as bits_load_word gives them
    uint64_t second;  // bytes 8 to 15
    uint8_t last;     // byte 16
};

// Compares the key with the 17-byte string at `other`, whose first 8 bytes are `other_first`.
// Returns the number of equal bytes at their start (0 to 17); when it is below 17,
// `*key_larger` tells whether the key's first differing byte is the larger one.
static int compare_with_key(const Key& key, uint64_t other_first, const uint8_t* other,
                            bool* key_larger)
{
    uint64_t word = other_first;
    if (word != key.first) {
        *key_larger = key.first > word;
        return leading_zero_bytes(key.first ^ word);
    }
    word = bits_load_word(other + 8);
    if (word != key.second) {
        *key_larger = key.second > word;
        return 8 + leading_zero_bytes(key.second ^ word);
    }
    *key_larger = key.last > other[16];
    return key.last == other[16] ? LZ_MAX_MATCH : 16;
}

// What a walk of tree_insert found: the number of nodes it visited, and the longest match on
// the way, the last visited among equally long ones.
struct Walk {
    int visits;
    int best;
    int32_t best_position;
};

// Compares the key with the string of node `visit`, whose first 8 bytes are `visit_word`, and
// makes the node the walk's best match when it is at least as long as the best so far. Returns
// the number of equal bytes; `*key_larger` as compare_with_key.
static inline int compare_visit(const Key& key, const uint8_t* window, int32_t visit,
                                uint64_t visit_word, Walk* walk, bool* key_larger)
{
    walk->visits++;
    int equal = compare_with_key(key, visit_word, window + visit, key_larger);
    // Selects rather than a branch: whether a visit improves on the best is hard to predict.
    bool better = equal >= walk->best;
    walk->best = better ? equal : walk->best;
    walk->best_position = better ? visit : walk->best_position;
    return equal;
}

// The walks of tree_insert. Each visits nodes from the top down to where the key belongs,
// compares the key with each node's string, and puts the key's node there.
//
// Both are bound by the latency of loading the next node. With TreeNodes the next comparison
// needs only the node's child word, and the side is an index rather than a branch, which would
// be mispredicted about every other visit on most data. On data whose walks run long (tables of
// records much alike), the tree no longer fits the first-level cache in TreeNodes and the
// branches turn predictable: there each visit of the small tree loads both children and the first
// 8 bytes of both their strings while its comparison chooses between them, and the branch lets
// the processor walk on before it has.
static inline Walk walk_tree(LzEncoder* lz, int32_t node, const Key& key)
{
    TreeNode* tree = lz->tree;
    const uint8_t* window = lz->window;
    int32_t visit = tree[LZ_ROOT_NODE].children[LARGER];
    uint64_t visit_word = tree[LZ_ROOT_NODE].child_words[LARGER];
    Walk walk = {0, 0, 0};
    for (;;) {
        bool key_larger = false;
        if (compare_visit(key, window, visit, visit_word, &walk, &key_larger) == LZ_MAX_MATCH) {
            substitute(tree, window, visit, node);
            return walk;
        }
        // (Written with the two array pointers, gcc keeps the address arithmetic off the path
        // to the next comparison.)
        const int32_t* children = tree[visit].children;
        const uint64_t* child_words = tree[visit].child_words;
        int side = key_larger ? LARGER : SMALLER;
        int32_t next = children[side];
        if (next == 0) {
            attach(tree, window, visit, side, node);
            return walk;
        }
        visit_word = child_words[side];
        visit = next;
    }
}

static inline Walk walk_small_tree(LzEncoder* lz, int32_t node, const Key& key)
{
    SmallTreeNode* tree = lz->small_tree;
    const uint8_t* window = lz->window;
    int32_t visit = tree[LZ_ROOT_NODE].children[LARGER];
    uint64_t visit_word = bits_load_word(window + visit);
    Walk walk = {0, 0, 0};
    for (;;) {
        int32_t smaller = tree[visit].children[SMALLER];
        int32_t larger = tree[visit].children[LARGER];
        uint64_t smaller_word = bits_load_word(window + smaller);
        uint64_t larger_word = bits_load_word(window + larger);
        bool key_larger = false;
        if (compare_visit(key, window, visit, visit_word, &walk, &key_larger) == LZ_MAX_MATCH) {
            substitute(tree, window, visit, node);
            return walk;
        }
        int32_t next = key_larger ? larger : smaller;
        if (next == 0) {
            attach(tree, window, visit, key_larger ? LARGER : SMALLER, node);
            return walk;
        }
        visit_word = key_larger ? larger_word : smaller_word;
        visit = next;
    }
}

// Moves the tree from one layout into the other; returns the new layout (true: small).
static bool change_layout(LzEncoder* lz, bool small)
{
    for (int32_t n = 0; n <= LZ_ROOT_NODE; n++) {
        if (small) {
            lz->tree[n].parent = lz->small_tree[n].parent;
            for (int side = SMALLER; side <= LARGER; side++)
                set_child(lz->tree, lz->window, n, side, lz->small_tree[n].children[side]);
        } else {
            lz->small_tree[n] = SmallTreeNode{static_cast<uint16_t>(lz->tree[n].parent),
                                              {static_cast<uint16_t>(lz->tree[n].children[0]),
                                               static_cast<uint16_t>(lz->tree[n].children[1])},
                                              0};
        }
    }
    return !small;
}

// The layout for the next insertions, after LZ_WALK_SAMPLE insertions whose walks visited
// `visited` nodes: the tree changes layout when their average has crossed the bound.
static bool choose_layout(LzEncoder* lz, bool small, int visited)
{
    int average = visited / LZ_WALK_SAMPLE;
    if (small ? average < LZ_SHALLOW_WALK : average > LZ_DEEP_WALK)
        return change_layout(lz, small);
    return small;
}

// Makes `node` the tree's only node if the tree is empty; false if it is not.
template <typename Node>
static bool attach_to_empty(Node* tree, const uint8_t* window, int32_t node)
{
    if (tree[LZ_ROOT_NODE].children[LARGER] != 0)
        return false;
    attach(tree, window, LZ_ROOT_NODE, LARGER, node);
    return true;
}

// Inserts position `node` into the tree in its layout (`small`) and returns the length of the
// longest match found on the way (0 to 17); `match_position` receives its position. The last
// node visited among equally long matches wins. Adds the nodes visited to `*visited`.
static int tree_insert(LzEncoder* lz, bool small, int32_t node, int32_t* match_position,
                       int* visited)
{
    if (node == 0)
        return 0;
    if (small ? attach_to_empty(lz->small_tree, lz->window, node)
              : attach_to_empty(lz->tree, lz->window, node))
        return 0;
    const uint8_t* bytes = lz->window + node;
    const Key key = {bits_load_word(bytes), bits_load_word(bytes + 8), bytes[16]};
    Walk walk = small ? walk_small_tree(lz, node, key) : walk_tree(lz, node, key);
    *visited += walk.visits;
    *match_position = walk.best_position;
    return walk.best;
}

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

// The encoder's input file, read a block at a time into the encoder's input block. The first
// read that gives nothing ends the input for good: a file that grows afterwards, or a read that
// came back empty once, must not add bytes behind the ones counted as its end.
struct InputBlock {
    LzSource source;
    uint8_t* block;
    size_t next;
    size_t end;
    bool ended;
    bool failed;
};

static int read_byte(InputBlock* input)
{
    if (input->next == input->end) {
        if (input->ended)
            return -1;
        input->next = 0;
        int64_t read = input->source.read(input->source.context, input->block, LZ_BLOCK_BYTES);
        input->end = read > 0 ? static_cast<size_t>(read) : 0;
        if (read <= 0) {
            input->ended = true;
            input->failed = read < 0;
            return -1;
        }
    }
    return input->block[input->next++];
}

int64_t lzss_encode_entry(LzSource source, BitStream* stream)
{
    return lzss_encode_entry_with(&lz_process, source, stream);
}

int64_t lzss_encode_entry_with(LzEncoder* lz, LzSource source, BitStream* stream)
{
    std::memset(lz->tree, 0, sizeof lz->tree);
    bool small = false;  // the tree is in small_tree
    int inserted = 0;    // insertions since the last look at the walks
    int visited = 0;     // the nodes their walks visited
    InputBlock input = {source, lz->input, 0, 0, false, false};
    int32_t position = 1;
    int lookahead = 0;
    int c;
    while (lookahead < LZ_MAX_MATCH && (c = read_byte(&input)) >= 0)
        store_window_byte(lz, position + lookahead++, static_cast<uint8_t>(c));
    int64_t count = lookahead;

    attach(lz->tree, lz->window, LZ_ROOT_NODE, LARGER, position);
    int match_length = 0;
    int32_t match_position = 0;

    while (lookahead > 0) {
        if (match_length > lookahead)
            match_length = lookahead;
        int steps;
        if (match_length <= 1) {
            if (put_literal(stream, lz->window[position]) != 0)
                return LZ_STREAM_FAILED;
            steps = 1;
        } else {
            if (put_pair(stream, match_position, match_length) != 0)
                return LZ_STREAM_FAILED;
            steps = match_length;
        }
        for (int i = 0; i < steps; i++) {
            int32_t incoming = (position + LZ_MAX_MATCH) & LZ_WINDOW_MASK;
            tree_remove(lz, small, incoming);
            if ((c = read_byte(&input)) >= 0) {
                store_window_byte(lz, incoming, static_cast<uint8_t>(c));
                count++;
            } else {
                lookahead--;
            }
            position = (position + 1) & LZ_WINDOW_MASK;
            if (lookahead > 0) {
                match_length = tree_insert(lz, small, position, &match_position, &visited);
                if (++inserted == LZ_WALK_SAMPLE) {
                    small = choose_layout(lz, small, visited);
                    inserted = 0;
                    visited = 0;
                }
            }
        }
    }
    if (input.failed)
        return LZ_FILE_FAILED;
    if (bits_put_field(stream, LZ_END_POSITION, 1 + LZ_POSITION_BITS) != 0)
        return LZ_STREAM_FAILED;
    return count;
}

// Puts the window, from `position` on, in front of the decoder's output, so that the byte
// `distance` places before the next output byte is the window byte `distance` places before
// `position` (distance 1 to 4096).
static void load_history(int32_t position)
{
    size_t tail = LZ_WINDOW_BYTES - position;
    std::memcpy(lz_output, lz_window + position, tail);
    std::memcpy(lz_output + tail, lz_window, position);
}

// The reverse of load_history: the 4096 bytes before `out` go back into the window, the last of
// them just before `position`.
static void store_history(const uint8_t* out, int32_t position)
{
    size_t tail = LZ_WINDOW_BYTES - position;
    std::memcpy(lz_window + position, out - LZ_WINDOW_BYTES, tail);
    std::memcpy(lz_window, out - position, position);
    std::memcpy(lz_window + LZ_WINDOW_BYTES, lz_window, LZ_WRAP_COPY_BYTES);
}

// What the decoder works with from token to token. lzss_decode_entry keeps it in a local
// variable, where the compiler can hold it in registers; in the BitStream it would have to be
// reloaded after every output byte, which might have been stored over it.
struct Decoder {
    BitReader reader;    // the stream's, taken for the entry and given back at its end
    uint8_t* out;        // the next output byte
    int32_t out_origin;  // the window position of lz_output_start
};

// The window position of the next output byte.
static int32_t out_position(const Decoder& decoder)
{
    int32_t offset = static_cast<int32_t>(decoder.out - lz_output_start);
    return (decoder.out_origin + offset) & LZ_WINDOW_MASK;
}

// Hands the decoded bytes to the sink and moves the last 4096 of them in front of
// lz_output_start again. False when the sink failed.
static bool write_output(Decoder* decoder, const LzSink& output, int64_t* written)
{
    size_t size = static_cast<size_t>(decoder->out - lz_output_start);
    bool ok = output.write(output.context, lz_output_start, size);
    *written += static_cast<int64_t>(size);
    decoder->out_origin = out_position(*decoder);
    std::memmove(lz_output, decoder->out - LZ_WINDOW_BYTES, LZ_WINDOW_BYTES);
    decoder->out = lz_output_start;
    return ok;
}

static void drop_bits(Decoder* decoder, int count)
{
    decoder->reader.bits <<= count;
    decoder->reader.count -= count;
}

// Copies `length` bytes from `distance` bytes back, as the window does it: byte by byte, so a
// match that overlaps its own output repeats it. The copy may write up to LZ_COPY_OVERRUN bytes
// past `length`; what follows overwrites them.
static inline uint8_t* copy_match(uint8_t* out, int distance, int length)
{
    const uint8_t* from = out - distance;
    if (distance >= LZ_MAX_MATCH) {
        std::memcpy(out, from, LZ_MAX_MATCH);
    } else if (distance >= 8) {
        // Each 8 bytes come from before the 8 being written.
        for (int i = 0; i < length; i += 8)
            std::memcpy(out + i, from + i, 8);
    } else if (distance == 1) {
        std::memset(out, from[0], static_cast<size_t>(length));
    } else {
        for (int i = 0; i < length; i++)
            out[i] = from[i];
    }
    return out + length;
}

// Carries out a pair: copies `length` bytes from window position `position`. Returns the next
// output byte.
static inline uint8_t* copy_pair(const Decoder& decoder, int32_t position, int length)
{
    int distance = ((out_position(decoder) - position - 1) & LZ_WINDOW_MASK) + 1;
    return copy_match(decoder.out, distance, length);
}

// Decodes the token at the top of the bits and takes its bits from the count. False for the end
// marker. Where fewer than 17 bits are held the token is read as if zeros followed them, and a
// count below 0 tells that it needed bits the stream does not have.
static inline bool decode_token(Decoder* decoder)
{
    uint64_t bits = decoder->reader.bits;
    if ((bits >> 63) != 0) {
        *decoder->out++ = static_cast<uint8_t>(bits >> 55);
        drop_bits(decoder, 1 + 8);
        return true;
    }
    int32_t position = static_cast<int32_t>(bits >> 51) & LZ_WINDOW_MASK;
    if (position == LZ_END_POSITION) {
        drop_bits(decoder, 1 + LZ_POSITION_BITS);
        return false;
    }
    drop_bits(decoder, LZ_PAIR_BITS);
    int length = (static_cast<int>(bits >> 47) & 0xf) + LZ_MIN_MATCH;
    decoder->out = copy_pair(*decoder, position, length);
    return true;
}

int64_t lzss_decode_entry(BitStream* stream, LzSink output)
{
    const int32_t first_position = 1;
    load_history(first_position);
    Decoder decoder = {stream->reader, lz_output_start, first_position};
    const uint8_t* const block_end = lz_output_start + LZ_BLOCK_BYTES;
    int64_t written = 0;
    int64_t result = 0;
    for (;;) {
        if (decoder.out >= block_end && !write_output(&decoder, output, &written)) {
            result = LZ_FILE_FAILED;
            break;
        }
        bits_refill(stream, &decoder.reader);
        if (decoder.reader.count >= LZ_TOKENS_PER_REFILL * LZ_PAIR_BITS) {
            if (!decode_token(&decoder) || !decode_token(&decoder) || !decode_token(&decoder))
                break;
            continue;
        }
        // The end of the archive is near: one token at a time, and one cut short fails
        // without output.
        uint8_t* token_start = decoder.out;
        bool more = decode_token(&decoder);
        if (decoder.reader.count < 0) {
            decoder.out = token_start;
            decoder.reader.bits = 0;
            decoder.reader.count = 0;
            result = LZ_STREAM_FAILED;
            break;
        }
        if (!more)
            break;
    }
    stream->reader = decoder.reader;
    // The bytes decoded before a damaged end go out too; the damage is what gets reported.
    store_history(decoder.out, out_position(decoder));
    if (result != LZ_FILE_FAILED && decoder.out != lz_output_start &&
        !write_output(&decoder, output, &written) && result == 0)
        result = LZ_FILE_FAILED;
    return result < 0 ? result : written;
}
