// The application-wide mouse pointer.
#pragma once

namespace pointer {

inline constexpr int vbDefault = 0;
inline constexpr int vbHourglass = 11;

// Shape 0 removes every override cursor; shape 11 shows the busy cursor.
// Other shapes are kept as numbers only.
void setMousePointer(int shape);

// The shape last set (0 at start).
int mousePointer();

}  // namespace pointer
