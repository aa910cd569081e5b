// The few Windows-style scalar types that the updater's interfaces are written in.
#pragma once

using BOOL = int;
#ifndef TRUE
constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
constexpr BOOL FALSE = 0;
#endif
