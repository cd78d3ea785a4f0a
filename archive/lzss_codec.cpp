// lzss_codec.cpp -- the LZSS encoder with its binary search tree, and the decoder.
//
// Node p of the tree (1 to 4095) stands for the 17 window bytes that start at position p; node
// 4096 is the root, whose `larger` field holds the top node; 0 means "none" in every field.
// Nodes are ordered by their 17-byte strings compared as unsigned bytes.

#include "archive/lzss_codec.h"

#include <cstring>

static uint8_t lz_window[LZ_WINDOW_BYTES];
static TreeNode lz_tree[LZ_WINDOW_BYTES + 1];

void lzss_reset_window() { std::memset(lz_window, 0, sizeof lz_window); }

// `child` (possibly none) takes the place of `old_node` under its parent, whose `larger` field
// is tested first; `old_node` leaves the tree.
static void splice_out(int32_t old_node, int32_t child)
{
    int32_t parent = lz_tree[old_node].parent;
    lz_tree[child].parent = parent;
    if (lz_tree[parent].larger == old_node)
        lz_tree[parent].larger = child;
    else if (lz_tree[parent].smaller == old_node)
        lz_tree[parent].smaller = child;
    lz_tree[old_node].parent = 0;
}

// `new_node` takes the place of `old_node`, which leaves the tree.
static void substitute(int32_t old_node, int32_t new_node)
{
    int32_t parent = lz_tree[old_node].parent;
    if (lz_tree[parent].smaller == old_node)
        lz_tree[parent].smaller = new_node;
    else if (lz_tree[parent].larger == old_node)
        lz_tree[parent].larger = new_node;
    lz_tree[new_node] = lz_tree[old_node];
    lz_tree[lz_tree[new_node].smaller].parent = new_node;
    lz_tree[lz_tree[new_node].larger].parent = new_node;
    lz_tree[old_node].parent = 0;
}

static void tree_remove(int32_t node)
{
    if (node == 0 || lz_tree[node].parent == 0)
        return;
    if (lz_tree[node].larger == 0) {
        splice_out(node, lz_tree[node].smaller);
    } else if (lz_tree[node].smaller == 0) {
        splice_out(node, lz_tree[node].larger);
    } else {
        int32_t next = lz_tree[node].smaller;
        while (lz_tree[next].larger != 0)
            next = lz_tree[next].larger;
        tree_remove(next);
        substitute(node, next);
    }
}

// Inserts position `node` and returns the length of the longest match found on the way
// (0 to 17); `match_position` receives its position. The last node visited among equally long
// matches wins.
static int tree_insert(int32_t node, int32_t* match_position)
{
    if (node == 0)
        return 0;
    int32_t visit = lz_tree[LZ_ROOT_NODE].larger;
    if (visit == 0) {
        lz_tree[LZ_ROOT_NODE].larger = node;
        lz_tree[node] = TreeNode{LZ_ROOT_NODE, 0, 0};
        return 0;
    }
    int best = 0;
    for (;;) {
        int equal = 0;
        int difference = 0;
        while (equal < LZ_MAX_MATCH) {
            difference = lz_window[(node + equal) & LZ_WINDOW_MASK] -
                         lz_window[(visit + equal) & LZ_WINDOW_MASK];
            if (difference != 0)
                break;
            equal++;
        }
        if (equal >= best) {
            best = equal;
            *match_position = visit;
        }
        if (equal == LZ_MAX_MATCH) {
            substitute(visit, node);
            return LZ_MAX_MATCH;
        }
        int32_t* child = difference >= 0 ? &lz_tree[visit].larger : &lz_tree[visit].smaller;
        if (*child == 0) {
            *child = node;
            lz_tree[node] = TreeNode{visit, 0, 0};
            return best;
        }
        visit = *child;
    }
}

static int put_literal(BitStream* stream, uint8_t byte)
{
    if (bits_put(stream, 1) != 0)
        return -1;
    return bits_put_field(stream, byte, 8);
}

static int put_pair(BitStream* stream, int32_t position, int length)
{
    if (bits_put(stream, 0) != 0 || bits_put_field(stream, position, LZ_POSITION_BITS) != 0)
        return -1;
    return bits_put_field(stream, length - LZ_MIN_MATCH, LZ_LENGTH_BITS);
}

int64_t lzss_encode_entry(FILE* input, BitStream* stream)
{
    std::memset(lz_tree, 0, sizeof lz_tree);
    int32_t position = 1;
    int lookahead = 0;
    int c;
    while (lookahead < LZ_MAX_MATCH && (c = std::getc(input)) != EOF)
        lz_window[position + lookahead++] = static_cast<uint8_t>(c);
    int64_t count = lookahead;

    lz_tree[LZ_ROOT_NODE].larger = position;
    lz_tree[position] = TreeNode{LZ_ROOT_NODE, 0, 0};
    int match_length = 0;
    int32_t match_position = 0;

    while (lookahead > 0) {
        if (match_length > lookahead)
            match_length = lookahead;
        int steps;
        if (match_length <= 1) {
            if (put_literal(stream, lz_window[position]) != 0)
                return LZ_STREAM_FAILED;
            steps = 1;
        } else {
            if (put_pair(stream, match_position, match_length) != 0)
                return LZ_STREAM_FAILED;
            steps = match_length;
        }
        for (int i = 0; i < steps; i++) {
            int32_t incoming = (position + LZ_MAX_MATCH) & LZ_WINDOW_MASK;
            tree_remove(incoming);
            if ((c = std::getc(input)) != EOF) {
                lz_window[incoming] = static_cast<uint8_t>(c);
                count++;
            } else {
                lookahead--;
            }
            position = (position + 1) & LZ_WINDOW_MASK;
            if (lookahead > 0)
                match_length = tree_insert(position, &match_position);
        }
    }
    if (std::ferror(input))
        return LZ_FILE_FAILED;
    if (bits_put(stream, 0) != 0 || bits_put_field(stream, LZ_END_POSITION, LZ_POSITION_BITS) != 0)
        return LZ_STREAM_FAILED;
    return count;
}

int64_t lzss_decode_entry(BitStream* stream, FILE* output)
{
    int32_t position = 1;
    int64_t count = 0;
    for (;;) {
        int flag = bits_get(stream);
        if (flag < 0)
            return LZ_STREAM_FAILED;
        if (flag == 1) {
            int byte = bits_get_field(stream, 8);
            if (byte < 0)
                return LZ_STREAM_FAILED;
            if (std::putc(byte, output) == EOF)
                return LZ_FILE_FAILED;
            lz_window[position] = static_cast<uint8_t>(byte);
            position = (position + 1) & LZ_WINDOW_MASK;
            count++;
            continue;
        }
        int match_position = bits_get_field(stream, LZ_POSITION_BITS);
        if (match_position < 0)
            return LZ_STREAM_FAILED;
        if (match_position == LZ_END_POSITION)
            return count;
        int length = bits_get_field(stream, LZ_LENGTH_BITS);
        if (length < 0)
            return LZ_STREAM_FAILED;
        length += LZ_MIN_MATCH;
        for (int i = 0; i < length; i++) {
            uint8_t byte = lz_window[(match_position + i) & LZ_WINDOW_MASK];
            if (std::putc(byte, output) == EOF)
                return LZ_FILE_FAILED;
            lz_window[position] = byte;
            position = (position + 1) & LZ_WINDOW_MASK;
        }
        count += length;
    }
}
