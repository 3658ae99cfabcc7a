// The application-wide mouse pointer.
#pragma once

namespace pointer {

inline constexpr int vbDefault = 0;
inline constexpr int vbHourglass = 11;

// Shape 0 removes every override cursor; shape 11 shows the busy cursor.
// Other shapes change nothing.
void setMousePointer(int shape);

}  // namespace pointer
