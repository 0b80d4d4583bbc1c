#pragma once

#include "engine/Nodo.h"

namespace engine {

// Holds a node's lock until it goes out of scope. The engine's node lookups return one; an empty
// guard carries the error of the lookup that failed (already recorded in the error pair).
class CNodeLock {
  public:
    CNodeLock() = default;
    // An empty guard with the failure that left it empty.
    explicit CNodeLock(int error) : error_(error) {}
    // Waits for the node's lock up to its lock time-out; empty when it cannot be had.
    explicit CNodeLock(CNodo& node) : node_(node.Lock() ? &node : nullptr) {}
    // As above, but empty as soon as stop is requested.
    CNodeLock(CNodo& node, const platform::StopToken& stop) : node_(node.Lock(stop) ? &node : nullptr) {}
    // Takes over a lock the calling thread already holds.
    static CNodeLock Adopt(CNodo& node) {
        CNodeLock held;
        held.node_ = &node;
        return held;
    }
    CNodeLock(CNodeLock&& other) noexcept : node_(other.node_), error_(other.error_) {
        other.node_ = nullptr;
    }
    CNodeLock& operator=(CNodeLock&& other) noexcept {
        if (this != &other) {
            Unlock();
            node_ = other.node_;
            error_ = other.error_;
            other.node_ = nullptr;
        }
        return *this;
    }
    CNodeLock(const CNodeLock&) = delete;
    CNodeLock& operator=(const CNodeLock&) = delete;
    ~CNodeLock() { Unlock(); }

    explicit operator bool() const { return node_ != nullptr; }
    CNodo* operator->() const { return node_; }
    CNodo& operator*() const { return *node_; }
    CNodo* Get() const { return node_; }
    int Error() const { return error_; }

    // Releases the lock before the end of the scope.
    void Unlock() {
        if (node_) node_->Unlock();
        node_ = nullptr;
    }

  private:
    CNodo* node_ = nullptr;
    int error_ = 0;
};

}  // namespace engine
