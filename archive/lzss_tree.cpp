// lzss_tree.cpp -- the encoder's binary search tree over its window, in two node layouts.
//
// The tree's operations are written once for both layouts and instantiated for each; an encoder
// runs its insertions in one layout until choose_layout moves the tree into the other. (The
// nodes and the window are described in lzss_internal.h.)

#include "archive/lzss_internal.h"

#include <cstring>

enum {
    LZ_DEEP_WALK = 32,     // average visits per insertion above which the small nodes are used
    LZ_SHALLOW_WALK = 24,  // and below which the TreeNodes are used again
};

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
static void remove_node(Node* tree, const uint8_t* window, int32_t node)
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
        remove_node(tree, window, next);
        substitute(tree, window, node, next);
    }
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

// Compares the key with the string of node `visit`, whose first 8 bytes are `visit_word`, and
// makes the node the walk's best match when it is at least as long as the best so far. Returns
// the number of equal bytes; `*key_larger` as compare_with_key.
static inline int compare_visit(const Key& key, const uint8_t* window, int32_t visit,
                                uint64_t visit_word, Walk* walk, bool* key_larger)
{
    walk->visits++;
    int equal = compare_with_key(key, visit_word, window + visit, key_larger);
    // Selects rather than a branch: whether a visit improves on the best is hard to predict.
    uint32_t found = static_cast<uint32_t>(equal) << 16 | static_cast<uint32_t>(visit);
    walk->best = found >= (walk->best & ~0xffffu) ? found : walk->best;
    return equal;
}

// The walks of tree_insert, one for each layout. Each visits nodes from the top down to where
// the key belongs, compares the key with each node's string, and puts the key's node there.
//
// Both are bound by the latency of loading the next node. With TreeNodes the next comparison
// needs only the node's child word, and the side is an index rather than a branch, which would
// be mispredicted about every other visit on most data. On data whose walks run long (tables of
// records much alike), the tree no longer fits the first-level cache in TreeNodes and the
// branches turn predictable: there each visit of the small tree loads both children and the first
// 8 bytes of both their strings while its comparison chooses between them, and the branch lets
// the processor walk on before it has.
static inline Walk walk(TreeNode* tree, const uint8_t* window, int32_t node, const Key& key)
{
    int32_t visit = tree[LZ_ROOT_NODE].children[LARGER];
    uint64_t visit_word = tree[LZ_ROOT_NODE].child_words[LARGER];
    Walk walk = {0, 0};
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

static inline Walk walk(SmallTreeNode* tree, const uint8_t* window, int32_t node,
                        const Key& key)
{
    int32_t visit = tree[LZ_ROOT_NODE].children[LARGER];
    uint64_t visit_word = bits_load_word(window + visit);
    Walk walk = {0, 0};
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

// Makes `node` the tree's only node if the tree is empty; false if it is not.
template <typename Node>
static bool attach_to_empty(Node* tree, const uint8_t* window, int32_t node)
{
    if (tree[LZ_ROOT_NODE].children[LARGER] != 0)
        return false;
    attach(tree, window, LZ_ROOT_NODE, LARGER, node);
    return true;
}

// The nodes of an encoder's tree in the layout `Node`. (Reached from the encoder, at a fixed
// offset from its window, they take one register less in a walk than a pointer of their own.)
template <typename Node>
static Node* nodes_of(LzEncoder* lz);

template <>
TreeNode* nodes_of<TreeNode>(LzEncoder* lz)
{
    return lz->tree;
}

template <>
SmallTreeNode* nodes_of<SmallTreeNode>(LzEncoder* lz)
{
    return lz->small_tree;
}

template <typename Node>
Walk tree_insert(LzEncoder* lz, int32_t node)
{
    Node* tree = nodes_of<Node>(lz);
    if (node == 0 || attach_to_empty(tree, lz->window, node))
        return Walk{0, 0};
    const uint8_t* bytes = lz->window + node;
    const Key key = {bits_load_word(bytes), bits_load_word(bytes + 8), bytes[16]};
    return walk(tree, lz->window, node, key);
}

template <typename Node>
void tree_remove(LzEncoder* lz, int32_t node)
{
    remove_node(nodes_of<Node>(lz), lz->window, node);
}

template Walk tree_insert<TreeNode>(LzEncoder* lz, int32_t node);
template Walk tree_insert<SmallTreeNode>(LzEncoder* lz, int32_t node);
template void tree_remove<TreeNode>(LzEncoder* lz, int32_t node);
template void tree_remove<SmallTreeNode>(LzEncoder* lz, int32_t node);

void tree_start(LzEncoder* lz, int32_t node)
{
    std::memset(lz->tree, 0, sizeof lz->tree);
    attach(lz->tree, lz->window, LZ_ROOT_NODE, LARGER, node);
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

// The tree changes layout when the average walk of the last sample has crossed the bound.
bool choose_layout(LzEncoder* lz, bool small, int visited)
{
    int average = visited / LZ_WALK_SAMPLE;
    if (small ? average < LZ_SHALLOW_WALK : average > LZ_DEEP_WALK)
        return change_layout(lz, small);
    return small;
}
