// The calling convention of the historian client library's functions:
// stdcall on 32-bit Windows, the platform's C convention elsewhere.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define PIAPI_CALL __stdcall
#else
#define PIAPI_CALL
#endif
