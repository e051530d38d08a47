// api_common.cpp — the parts of the entry-level interface that belong to no handle: the
// run-time version and the texts of the result codes.
#include "kestrel.h"

#if !defined(_WIN32)

extern "C" const char* kestrel_version(void) { return KESTREL_VERSION_STRING; }

extern "C" const char* kestrel_result_text(int result) {
  switch (result) {
    case KESTREL_OK: return "success";
    case KESTREL_END: return "no more entries";
    case KESTREL_E_INVALID: return "invalid argument or handle";
    case KESTREL_E_IO: return "input/output error";
    case KESTREL_E_NOT_FOUND: return "not found";
    case KESTREL_E_NOT_ZIP: return "not a zip archive";
    case KESTREL_E_FORMAT: return "damaged archive or entry";
    case KESTREL_E_UNSUPPORTED: return "unsupported compression method or feature";
    case KESTREL_E_PASSWORD: return "password needed or incorrect";
    case KESTREL_E_UNSAFE: return "unsafe name or link";
    case KESTREL_E_EXISTS: return "the target exists";
    case KESTREL_E_CANCELLED: return "cancelled";
    case KESTREL_E_CALLBACK: return "a callback reported a failure";
    case KESTREL_E_BUFFER: return "buffer too small";
    case KESTREL_E_NOMEM: return "out of memory";
    case KESTREL_E_LIMIT: return "beyond the format's limits";
    case KESTREL_E_OVERLAP: return "entry overlaps another (possible zip bomb)";
    case KESTREL_E_DAMAGED: return "central directory damaged";
    default: return "unknown result";
  }
}

#endif
