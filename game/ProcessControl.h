#pragma once

namespace ombrelta {

/// A window handle as the host gives it (HWND on Windows); never dereferenced by portable code.
using WindowHandle = void*;

}  // namespace ombrelta
