// Values become names through tables: {value, name} arrays with one shared lookup.
#pragma once

#include <cstdint>
#include <span>

namespace OFE {

struct VALUE_NAME {
    uint32_t value;
    const char* name;
};

// The name of `value` in `table`, or null when the table does not list it.
const char* find_value_name(std::span<const VALUE_NAME> table, uint32_t value);
// The name of `value`, or `fallback` when the table does not list it.
inline const char* value_name_or(std::span<const VALUE_NAME> table, uint32_t value, const char* fallback) {
    const char* name = find_value_name(table, value);
    return name ? name : fallback;
}

}  // namespace OFE
