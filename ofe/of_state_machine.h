// OF_STATE_MACHINE: the lifecycle states shared by an object file and all of its tables.
#pragma once

#include <cstdint>

namespace OFE {

class OBJECT_FILE;

// Lifecycle states; reading leaves everything "open".
enum OF_STATE : int32_t { OF_STATE_OPEN = 0, OF_STATE_LOCKED = 1, OF_STATE_FORMATTED = 2, OF_STATE_SAVED = 3 };

// "open", "locked", "formatted", "saved", or "unknown".
const char* state_name(int32_t state);

class OF_STATE_MACHINE {
public:
    // `owner` is the object file the errors of this object are reported on (itself for a file).
    explicit OF_STATE_MACHINE(OBJECT_FILE* owner) : owner_(owner) {}
    OF_STATE_MACHINE(const OF_STATE_MACHINE&) = delete;
    OF_STATE_MACHINE& operator=(const OF_STATE_MACHINE&) = delete;
    virtual ~OF_STATE_MACHINE() = default;

    // Hooks of the formats for each step; 0 for success.
    virtual int32_t on_progress(int32_t new_state);
    virtual int32_t on_revert(int32_t target_state);

    int32_t state() const { return state_; }
    // The larger of this object's state and its owner's.
    int32_t effective_state() const;
    OBJECT_FILE* owner() const { return owner_; }

    // Each gives 0, or -1 after reporting "illegal operation" (or "internal error" for a failed step).
    [[nodiscard]] int require_at_most_state(int32_t s);
    [[nodiscard]] int require_at_least_state(int32_t s);
    [[nodiscard]] int progress_to_state(int32_t s);
    [[nodiscard]] int revert_to_state(int32_t s);

protected:
    void set_owner(OBJECT_FILE* owner) { owner_ = owner; }

private:
    int32_t state_ = OF_STATE_OPEN;
    OBJECT_FILE* owner_;
};

}  // namespace OFE
