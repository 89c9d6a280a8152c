#pragma once
// A string-keyed hash map whose iteration order is the one stored files and
// scripts rely on (the order config.cfg is written in, first-match rules):
// keys hash as h = 5 * h + c over signed bytes, buckets come from a fixed prime
// table, a new key goes to the front of its bucket, iteration runs bucket by
// bucket from 0, and growing rehashes each old bucket front to back, pushing
// every node to the front of its new bucket. Use it only where that order is
// visible; elsewhere use the ordinary containers.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace legacy_hash_detail {

inline constexpr std::size_t kPrimes[] = {
    53ul,        97ul,        193ul,       389ul,       769ul,        1543ul,       3079ul,
    6151ul,      12289ul,     24593ul,     49157ul,     98317ul,      196613ul,     393241ul,
    786433ul,    1572869ul,   3145739ul,   6291469ul,   12582917ul,   25165843ul,   50331653ul,
    100663319ul, 201326611ul, 402653189ul, 805306457ul, 1610612741ul, 3221225473ul, 4294967291ul};

inline std::size_t NextPrime(std::size_t n) {
    for (std::size_t p : kPrimes)
        if (p >= n) return p;
    return kPrimes[std::size(kPrimes) - 1];
}

inline std::uint32_t Hash(const std::string& key) {
    std::uint32_t h = 0;
    for (char c : key) h = 5u * h + static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
    return h;
}

} // namespace legacy_hash_detail

template <class V>
class LegacyHashMap {
    struct Node {
        std::pair<const std::string, V> value;
        Node* next;
    };

public:
    using value_type = std::pair<const std::string, V>;

    template <bool Const>
    class Iter {
        using MapPtr = std::conditional_t<Const, const LegacyHashMap*, LegacyHashMap*>;

    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = LegacyHashMap::value_type;
        using difference_type = std::ptrdiff_t;
        using reference = std::conditional_t<Const, const value_type&, value_type&>;
        using pointer = std::conditional_t<Const, const value_type*, value_type*>;

        Iter() = default;
        Iter(MapPtr map, Node* node) : m_map(map), m_node(node) {}
        template <bool C = Const, class = std::enable_if_t<C>>
        Iter(const Iter<false>& other) : m_map(other.m_map), m_node(other.m_node) {}

        reference operator*() const { return m_node->value; }
        pointer operator->() const { return &m_node->value; }
        Iter& operator++() {
            Node* old = m_node;
            m_node = m_node->next;
            if (!m_node) {
                std::size_t bucket = m_map->BucketOf(old->value.first) + 1;
                while (!m_node && bucket < m_map->m_buckets.size()) m_node = m_map->m_buckets[bucket++];
            }
            return *this;
        }
        Iter operator++(int) {
            Iter copy = *this;
            ++*this;
            return copy;
        }
        friend bool operator==(const Iter& a, const Iter& b) { return a.m_node == b.m_node; }

    private:
        friend class LegacyHashMap;
        template <bool>
        friend class Iter;
        MapPtr m_map = nullptr;
        Node* m_node = nullptr;
    };
    using iterator = Iter<false>;
    using const_iterator = Iter<true>;

    explicit LegacyHashMap(std::size_t bucketHint = 100)
        : m_buckets(legacy_hash_detail::NextPrime(bucketHint), nullptr) {}
    ~LegacyHashMap() { clear(); }
    LegacyHashMap(const LegacyHashMap&) = delete;
    LegacyHashMap& operator=(const LegacyHashMap&) = delete;

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    std::size_t bucket_count() const { return m_buckets.size(); }

    iterator begin() { return iterator(this, FirstNode()); }
    iterator end() { return iterator(this, nullptr); }
    const_iterator begin() const { return const_iterator(this, FirstNode()); }
    const_iterator end() const { return const_iterator(this, nullptr); }

    iterator find(const std::string& key) { return iterator(this, FindNode(key)); }
    const_iterator find(const std::string& key) const { return const_iterator(this, FindNode(key)); }
    bool contains(const std::string& key) const { return FindNode(key) != nullptr; }

    // The existing entry, or a new one at the front of its bucket.
    std::pair<iterator, bool> insert(const std::string& key, V value) {
        Grow(m_size + 1);
        if (Node* node = FindNode(key)) return {iterator(this, node), false};
        std::size_t bucket = BucketOf(key);
        Node* node = new Node{value_type(key, std::move(value)), m_buckets[bucket]};
        m_buckets[bucket] = node;
        ++m_size;
        return {iterator(this, node), true};
    }
    V& operator[](const std::string& key) { return insert(key, V()).first->second; }

    std::size_t erase(const std::string& key) {
        std::size_t bucket = BucketOf(key);
        for (Node** link = &m_buckets[bucket]; *link; link = &(*link)->next) {
            if ((*link)->value.first == key) {
                Node* dead = *link;
                *link = dead->next;
                delete dead;
                --m_size;
                return 1;
            }
        }
        return 0;
    }

    void clear() {
        for (Node*& head : m_buckets) {
            while (head) {
                Node* next = head->next;
                delete head;
                head = next;
            }
        }
        m_size = 0;
    }

private:
    std::size_t BucketOf(const std::string& key) const { return legacy_hash_detail::Hash(key) % m_buckets.size(); }

    Node* FirstNode() const {
        for (Node* head : m_buckets)
            if (head) return head;
        return nullptr;
    }

    Node* FindNode(const std::string& key) const {
        for (Node* node = m_buckets[BucketOf(key)]; node; node = node->next)
            if (node->value.first == key) return node;
        return nullptr;
    }

    void Grow(std::size_t hint) {
        std::size_t old = m_buckets.size();
        if (hint <= old) return;
        std::size_t n = legacy_hash_detail::NextPrime(hint);
        if (n <= old) return;
        std::vector<Node*> fresh(n, nullptr);
        for (std::size_t b = 0; b < old; ++b) {
            while (Node* first = m_buckets[b]) {
                std::size_t target = legacy_hash_detail::Hash(first->value.first) % n;
                m_buckets[b] = first->next;
                first->next = fresh[target];
                fresh[target] = first;
            }
        }
        m_buckets.swap(fresh);
    }

    std::vector<Node*> m_buckets;
    std::size_t m_size = 0;
};
