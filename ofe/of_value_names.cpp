// The shared lookup of value-name tables.
#include "ofe/of_value_names.h"

namespace OFE {

const char* find_value_name(std::span<const VALUE_NAME> table, uint32_t value) {
    for (const VALUE_NAME& entry : table)
        if (entry.value == value) return entry.name;
    return nullptr;
}

}  // namespace OFE
