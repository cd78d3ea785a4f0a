// lzss_internal.h -- what the codec's files share: the encoder record, its window and the calls
// on its search tree.
//
// Node p of the tree (1 to 4095) stands for the 17 window bytes that start at position p; node
// 4096 is the root, whose `larger` field holds the top node; 0 means "none" in every field.
// Nodes are ordered by their 17-byte strings compared as unsigned bytes.
//
// An encoder's `window` holds the 4096 window bytes and, behind them, a copy of the first 16, so
// that the 17 bytes of any node can be read without wrapping. Every store goes through
// store_window_byte or lzss_set_window, which keep the copy.

#pragma once

#include <cstdint>

#include "archive/lzss_codec.h"

enum {
    LZ_WRAP_COPY_BYTES = LZ_MAX_MATCH - 1,
    LZ_PAIR_BITS = 1 + LZ_POSITION_BITS + LZ_LENGTH_BITS,  // the longest token
    LZ_BLOCK_BYTES = 1 << 16,                              // the codec's input and output blocks
};

enum { SMALLER, LARGER };  // the two children of a tree node

// The tree is kept in one of two layouts, which the encoder changes between as the walks of its
// insertions get longer or shorter (see choose_layout); both hold the same tree.
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
};

// What one encoder works with: the window with the copy of its first bytes, the search tree in
// either layout and the input block.
struct LzEncoder {
    uint8_t window[LZ_WINDOW_BYTES + LZ_WRAP_COPY_BYTES];
    TreeNode tree[LZ_WINDOW_BYTES + 1];
    SmallTreeNode small_tree[LZ_WINDOW_BYTES + 1];
    uint8_t input[LZ_BLOCK_BYTES];
};

inline void store_window_byte(LzEncoder* lz, int32_t position, uint8_t byte)
{
    lz->window[position] = byte;
    if (position < LZ_WRAP_COPY_BYTES)
        lz->window[LZ_WINDOW_BYTES + position] = byte;
}

// What the walk of an insertion found: the number of nodes it visited, and the longest match on
// the way, the last visited among equally long ones, as one number, so that one select in the
// walk keeps both its length and its position: the length (0 to 17) times 65536 plus the position.
struct Walk {
    int visits;
    uint32_t best;
};

inline int match_length_of(Walk walk) { return static_cast<int>(walk.best >> 16); }

inline int32_t match_position_of(Walk walk) { return static_cast<int32_t>(walk.best & 0xffff); }

// Empties the tree, in the TreeNode layout, and makes `node` its only node.
void tree_start(LzEncoder* lz, int32_t node);

// Inserts position `node` into the encoder's tree, which is in the layout `Node` (TreeNode or
// SmallTreeNode), and returns what its walk found. A node whose string is the same leaves the
// tree for it. Node 0 is never inserted: its walk, like the one that starts an empty tree, finds
// nothing.
template <typename Node>
Walk tree_insert(LzEncoder* lz, int32_t node);

// Takes `node` out of the encoder's tree, in the layout `Node`, if it is there.
template <typename Node>
void tree_remove(LzEncoder* lz, int32_t node);

// The layout for the next insertions (true: small_tree), after LZ_WALK_SAMPLE insertions in the
// layout `small` whose walks visited `visited` nodes. Moves the tree when the layout changes.
bool choose_layout(LzEncoder* lz, bool small, int visited);
