// A double-ended queue with a capacity fixed at construction: the free lists and frame
// queues cycle through it without allocating, unlike std::deque, which allocates and
// frees blocks as its ends wander.
#pragma once

#include <cstddef>
#include <memory>

namespace quorix {

template <typename T>
class BoundedDeque {
public:
    explicit BoundedDeque(size_t capacity)
        : m_slots(std::make_unique<T[]>(capacity > 0 ? capacity : 1)), m_capacity(capacity) {}

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    bool full() const { return m_size == m_capacity; }
    size_t capacity() const { return m_capacity; }

    // False when full.
    bool push_back(T value) {
        if (full()) {
            return false;
        }
        m_slots[(m_head + m_size) % m_capacity] = value;
        ++m_size;
        return true;
    }
    // Undefined when empty: callers check empty() first.
    T pop_front() {
        T value = m_slots[m_head];
        m_head = (m_head + 1) % m_capacity;
        --m_size;
        return value;
    }
    const T& operator[](size_t i) const { return m_slots[(m_head + i) % m_capacity]; }

private:
    std::unique_ptr<T[]> m_slots;
    size_t m_capacity;
    size_t m_head = 0;
    size_t m_size = 0;
};

}  // namespace quorix
