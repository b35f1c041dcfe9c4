// Saving an object: writing data maps to the output handle, save to an output the caller opened, and
// save_to_path with its temporary file.
#include <cerrno>
#include <cstring>
#include <string>

#include "ofe/object_file.h"
#include "ofe/of_section.h"
#include "util/data_map.h"
#include "util/pfile.h"
#include "util/platform.h"

namespace OFE {

bool OBJECT_FILE::is_own_input(PFILE* handle) const {
    PFILE* input = info_.handle;
    if (!handle || !input || saved_) return false;
    if (handle == input) return true;
    const char* a = pfname(handle);
    const char* b = pfname(input);
    return *a && *b && platform_same_file(a, b);
}

bool OBJECT_FILE::holds_claimed_raw_data() {
    OF_SECTION_TABLE* sections = section_table();
    for (uint32_t i = 0; sections && i < sections->count(); ++i) {
        OF_SECTION* s = sections->section_at(i);
        if (!s || !s->has_raw_data()) continue;
        // Only bytes read from the input can be missing; a section's own buffer is as long as it says.
        DATA_MAP& data = s->data();
        if (!data.file_backed()) continue;
        if (data.view().size() < data.size()) {
            report_error(OF_ERR_CORRUPTED,
                         "%s: section \"%s\" claims %llu bytes of raw data at file offset 0x%llx, beyond the end of "
                         "the file; a damaged object is not saved",
                         display_name(), s->name() ? s->name() : "", static_cast<unsigned long long>(data.size()),
                         static_cast<unsigned long long>(s->raw_data_offset()));
            return false;
        }
    }
    return true;
}

int32_t OBJECT_FILE::on_progress(int32_t new_state) {
    switch (new_state) {
    case OF_STATE_LOCKED: return holds_claimed_raw_data() ? lock_for_writing() : -1;
    case OF_STATE_FORMATTED: return lay_out();
    case OF_STATE_SAVED: return write_out();
    default: return 0;
    }
}

int OBJECT_FILE::put_file_data(DATA_MAP& map, uint32_t offset) {
    FILE* stream = info_.handle ? pffile(info_.handle) : nullptr;
    if (!stream) {
        report_error(OF_ERR_INTERNAL,
                     "illegal call to OBJECT_FILE::put_file_data() when a valid output file pointer is not present");
        return -1;
    }
    const uint64_t at = info_.start_offset + offset;
    map.set_cursor(0);
    if (platform_seek64(stream, static_cast<pf_off_t>(at), SEEK_SET) != 0 || map.save(info_.handle, map.size()) != 0) {
        report_error(OF_ERR_FILE_ACCESS, "%s: cannot write %llu bytes at offset 0x%llx: %s", display_name(),
                     static_cast<unsigned long long>(map.size()), static_cast<unsigned long long>(at),
                     std::strerror(errno));
        return -1;
    }
    return 0;
}

int OBJECT_FILE::save(const OF_FILE_INFO& info) {
    if (!info.handle) {
        report_error(OF_ERR_FILE_ACCESS, "%s: no output file to save to", display_name());
        return -1;
    }
    if (is_own_input(info.handle)) {
        report_error(OF_ERR_FILE_ACCESS,
                     "%s: cannot save over the file \"%s\" that the object is read from; save to another file, or "
                     "replace it as a whole (save_to_path)",
                     display_name(), pfname(info.handle));
        return -1;
    }
    if (progress_to_state(OF_STATE_FORMATTED) != 0) return -1;
    // From here on the object's bytes are in memory: the input may go.
    if (info_.close_on_destroy && info_.handle && info_.handle != info.handle) pfclose(info_.handle);
    OF_FILE_INFO out = info_;
    out.handle = info.handle;
    out.name = info.name;
    out.start_offset = info.start_offset;
    out.close_on_destroy = info.close_on_destroy;
    out.container = nullptr;
    set_info(out);
    if (info.size != 0) {
        DATA_MAP zeros;
        zeros.set_size(info.size);
        if (put_file_data(zeros, 0) != 0) return -1;
    }
    saved_ = true;
    if (progress_to_state(OF_STATE_SAVED) != 0) return -1;
    // Written through to the file, so that it can be read at once (the handle stays open).
    if (std::fflush(pffile(info.handle)) != 0) {
        report_error(OF_ERR_FILE_ACCESS, "%s: cannot write \"%s\": %s", display_name(), pfname(info.handle),
                     std::strerror(errno));
        return -1;
    }
    return 0;
}

int OBJECT_FILE::save_to_path(const char* path) {
    static unsigned serial = 0;
    const bool replace = platform_replaceable(path);
    const bool input = info_.handle && !saved_ && platform_same_file(path, pfname(info_.handle));
    if (!replace && input) {
        report_error(OF_ERR_FILE_ACCESS, "%s: cannot write \"%s\" in place: the object is read from it",
                     display_name(), path);
        return -1;
    }
    const std::string target = path;
    const std::string written =
        replace ? target + ".ofe-" + std::to_string(platform_process_id()) + "-" + std::to_string(serial++) : target;
    PFILE* out = pfopen(written.c_str(), "wb");
    if (!out) {
        report_error(OF_ERR_FILE_ACCESS, "%s: cannot open \"%s\" for writing: %s", display_name(), written.c_str(),
                     std::strerror(errno));
        return -1;
    }
    OF_FILE_INFO info;
    info.handle = out;
    info.name = path;
    info.close_on_destroy = true;
    int result = save(info);
    if (info_.handle == out) {
        // The object owns the output now; it is closed before the rename (Windows renames no open file) and
        // the finished file is opened again for reading.
        const bool flushed = std::fflush(pffile(out)) == 0;
        pfclose(out);
        OF_FILE_INFO done = info_;
        done.handle = nullptr;
        done.close_on_destroy = false;
        set_info(done);
        if (result == 0 && !flushed) {
            report_error(OF_ERR_FILE_ACCESS, "%s: cannot write \"%s\": %s", display_name(), written.c_str(),
                         std::strerror(errno));
            result = -1;
        }
    } else {
        pfclose(out);
    }
    if (replace) {
        if (result == 0 && input) platform_copy_permissions(path, written.c_str());
        if (result == 0) {
            if (const int error = platform_replace_file(written.c_str(), path); error != 0) {
                report_error(OF_ERR_FILE_ACCESS, "%s: cannot replace \"%s\": %s", display_name(), path,
                             std::strerror(error));
                result = -1;
            }
        }
        if (result != 0) (void)platform_remove_file(written.c_str());
    }
    if (result == 0 && saved_) {
        OF_FILE_INFO done = info_;
        done.handle = pfopen(path, "rb");
        done.close_on_destroy = done.handle != nullptr;
        set_info(done);
    }
    return result;
}

}  // namespace OFE
