/* The public header compiles as C, with the same record sizes as in C++. */
#include <stddef.h>

#include "gridcode/gridmark.h"

size_t gridmark_c_params_size(void) {
    return sizeof(GridParams);
}

size_t gridmark_c_offset_of_outputs(void) {
    return offsetof(GridParams, CodeWidth);
}
