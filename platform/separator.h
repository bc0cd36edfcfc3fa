#pragma once
// The system's own path separator: the one character the system adds when it
// joins or ends a path. Parsing still accepts both '\' and '/'.
namespace platform {
inline constexpr wchar_t kPathSeparator = L'/';
}
