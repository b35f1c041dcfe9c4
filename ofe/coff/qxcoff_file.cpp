// QXCOFF_FILE: reading the file header.
#include "ofe/coff/qxcoff_file.h"

namespace OFE {

int QXCOFF_FILE::read(const OF_FILE_INFO& info) {
    set_info(info);
    return 0;
}

}  // namespace OFE
