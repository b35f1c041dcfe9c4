// Opening and identifying object files, the error status and raw data access.
#include "ofe/object_file.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "DIAG/user_msg_api.h"
#include "ofe/coff/qxcoff_file.h"
#include "ofe/elf/elf_file.h"
#include "ofe/machine/of_machine_db.h"
#include "util/data_map.h"
#include "util/pfile.h"

namespace OFE {

namespace {

// Every object's pending message refers to this one buffer: the next report replaces the text.
char message_buffer[4096];
uint32_t next_serial = 0;

bool is_warning(uint32_t code) { return code == OF_ERR_WARNING || code == OF_ERR_VALUE_TRUNCATED; }

}  // namespace

OF_ENDIAN OBJECT_FILE::host_endian() {
    const uint16_t probe = 1;
    return *reinterpret_cast<const uint8_t*>(&probe) == 1 ? OF_ENDIAN_LITTLE : OF_ENDIAN_BIG;
}

OBJECT_FILE::OBJECT_FILE(const OF_FILE_INFO& info)
    : OF_STATE_MACHINE(this), machine_db_(OF_MACHINE_DB::create(info.target, this)) {
    set_info(info);
}

void OBJECT_FILE::set_info(const OF_FILE_INFO& info) {
    info_ = info;
    if (info.name != name_copy_.c_str()) name_copy_ = info.name ? info.name : "";
    info_.name = info.name ? name_copy_.c_str() : nullptr;
    if (info.container != container_copy_.c_str()) container_copy_ = info.container ? info.container : "";
    info_.container = info.container ? container_copy_.c_str() : nullptr;
    display_name_ = info_.container ? container_copy_ + "(" + name_copy_ + ")" : name_copy_;
}

OBJECT_FILE::~OBJECT_FILE() {
    if (info_.close_on_destroy && info_.handle) pfclose(info_.handle);
}

OBJECT_FILE* OBJECT_FILE::open(PFILE* handle, uint32_t size, const char* name, OF_ERROR_HANDLER handler,
                               const char* container) {
    if (size == 0 && pftello(pffile(handle)) != 0) {
        user_msg_error(DIAG::user_msg_context(),
                       "a file size must be specified when reading an archive member; OBJECT_FILE not created");
        return nullptr;
    }
    OF_FILE_INFO info;
    info.handle = handle;
    info.name = name;
    info.size = size;
    info.container = container;
    return create(info, handler);
}

OBJECT_FILE* OBJECT_FILE::open_path(const char* path, OF_ERROR_HANDLER handler) {
    PFILE* handle = path ? pfopen(path, "rb") : nullptr;
    if (!handle) return nullptr;
    OF_FILE_INFO info;
    info.handle = handle;
    info.name = path;
    info.close_on_destroy = true;
    OBJECT_FILE* object = create(info, handler);
    if (!object) pfclose(handle);
    return object;
}

OBJECT_FILE* OBJECT_FILE::create(OF_FILE_INFO info, OF_ERROR_HANDLER handler) {
    if (info.handle) identify(info);
    OBJECT_FILE* object = nullptr;
    if (info.format == OF_FORMAT_QXCOFF)
        object = new QXCOFF_FILE(info);
    else if (info.format == OF_FORMAT_ELF)
        object = new ELF_FILE(info);
    else
        return nullptr;
    if (handler) {
        object->set_error_handler(handler);
        if (object->error_code() != OF_ERR_NONE) handler(object, object->error_code(), object->error_message());
    }
    if (info.handle) (void)object->read(info);
    object->serial_ = next_serial++;
    object->machine_db()->file_created();
    return object;
}

void OBJECT_FILE::identify(OF_FILE_INFO& info) {
    FILE* stream = pffile(info.handle);
    const pf_off_t start = pftello(stream);
    info.start_offset = start > 0 ? static_cast<uint64_t>(start) : 0;
    if (info.size == 0) {
        (void)pfseeko(stream, 0, SEEK_END);
        const pf_off_t end = pftello(stream);
        // What lies past 4 GiB no 32-bit offset of the object can reach.
        info.size = end > 0 ? static_cast<uint32_t>(std::min<pf_off_t>(end, 0xFFFFFFFF)) : 0;
        (void)pfseeko(stream, static_cast<pf_off_t>(info.start_offset), SEEK_SET);
    }
    DATA_MAP head;
    head.attach_file(info.handle, static_cast<int64_t>(info.start_offset), IDENTIFICATION_BYTES);
    head.load();
    // Each format knows its own first bytes; ELF's magic is asked first.
    using IDENTIFIER = bool (*)(DATA_MAP&, OF_FILE_INFO&);
    static constexpr IDENTIFIER formats[] = {ELF_FILE::identify, QXCOFF_FILE::identify};
    for (const IDENTIFIER identify_format : formats)
        if (identify_format(head, info)) break;
    (void)pfseeko(stream, static_cast<pf_off_t>(info.start_offset), SEEK_SET);
}

void OBJECT_FILE::report_error(OF_ERROR code, const char* format, ...) {
    if (error_code_ != OF_ERR_NONE) {
        if (error_handler_) error_handler_(this, error_code_, error_message_);
        const uint32_t pending = error_code_;
        if (pending == OF_ERR_NONE) {
        } else if (is_warning(pending)) {
            if (is_warning(code)) return;
        } else if (pending == OF_ERR_DEVELOPMENT) {
            if (code == OF_ERR_DEVELOPMENT || is_warning(code)) return;
        } else {
            return;
        }
    }
    va_list args;
    va_start(args, format);
    std::vsnprintf(message_buffer, 4096, format, args);
    va_end(args);
    error_code_ = code;
    error_message_ = message_buffer;
    if (code != OF_ERR_NONE && error_handler_) error_handler_(this, code, error_message_);
}

bool OBJECT_FILE::require_format(OF_FORMAT format, const char* message) const {
    if (info_.format == format) return true;
    const_cast<OBJECT_FILE*>(this)->report_error(OF_ERR_CORRUPTED, "%s", message);
    return false;
}

void OBJECT_FILE::clear_error() {
    error_code_ = OF_ERR_NONE;
    error_message_ = "";
}

uint32_t OBJECT_FILE::bytes_present() {
    if (bytes_present_ < 0) {
        bytes_present_ = 0;
        const auto start = static_cast<pf_off_t>(info_.start_offset);
        if (const std::shared_ptr<const PF_MAPPING> mapping = pfmap(info_.handle)) {
            // The bytes the data maps read are the mapped ones.
            const auto end = static_cast<pf_off_t>(mapping->length);
            if (end > start) bytes_present_ = std::min<int64_t>(end - start, info_.size);
        } else if (FILE* stream = pffile(info_.handle)) {
            const pf_off_t here = pftello(stream);
            if (platform_seek64(stream, 0, SEEK_END) == 0) {
                const pf_off_t end = platform_tell64(stream);
                if (end > start) bytes_present_ = std::min<int64_t>(end - start, info_.size);
            }
            (void)pfseeko(stream, here, SEEK_SET);
        }
    }
    return static_cast<uint32_t>(bytes_present_);
}

uint32_t OBJECT_FILE::entries_present(uint64_t offset, uint32_t entry_size, uint32_t record_size) {
    const uint64_t present = bytes_present();
    if (offset >= present || present - offset < record_size) return 0;
    if (entry_size == 0) return 1;
    return static_cast<uint32_t>(std::min<uint64_t>((present - offset - record_size) / entry_size + 1, UINT32_MAX));
}

uint32_t OBJECT_FILE::entries_held(const char* what, uint64_t offset, uint32_t claimed, uint32_t entry_size,
                                   uint32_t record_size) {
    if (claimed == 0) return 0;
    if (entry_size < record_size) {
        report_error(OF_ERR_CORRUPTED, "%s: %s at offset 0x%llx has an entry size of %u, but one entry takes %u bytes",
                     display_name(), what, static_cast<unsigned long long>(offset), entry_size, record_size);
        return 0;
    }
    const uint32_t fit = entries_present(offset, entry_size, record_size);
    if (claimed <= fit) return claimed;
    report_error(OF_ERR_CORRUPTED, "%s: %s at offset 0x%llx claims %u entries of %u bytes, but the object holds only %u",
                 display_name(), what, static_cast<unsigned long long>(offset), claimed, entry_size, fit);
    return fit;
}

void OBJECT_FILE::get_file_data(DATA_MAP& map, uint32_t offset, uint32_t length) {
    if (require_at_most_state(OF_STATE_OPEN) != 0) return;
    if (!info_.handle) {
        report_error(OF_ERR_INTERNAL,
                     "illegal call to OBJECT_FILE::get_file_data() when the OBJECT_FILE object was not read from an "
                     "input file");
        return;
    }
    map.attach_file(info_.handle, static_cast<int64_t>(info_.start_offset) + offset, length);
    // Read in the byte order identification found (an ELF EI_DATA other than 1 or 2 reads as big endian).
    map.set_big_endian(info_.endian == OF_ENDIAN_BIG);
}

}  // namespace OFE
