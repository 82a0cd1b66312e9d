#pragma once

// What the compiler checks printf-style formats against: C99's printf everywhere. On
// Windows the build asks the runtime for its C99 printf (%zu, %lld and the rest), so the
// formats are checked against that rather than against the system's older one.
#if defined(__MINGW32__)
#define ZP_PRINTF(format_index, first_arg) __attribute__((format(gnu_printf, format_index, first_arg)))
#else
#define ZP_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#endif
