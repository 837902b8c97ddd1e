#pragma once

namespace tandrel {

// What holds a descriptor per agent request (hook connections, process watchers) leaves the last
// `kDescriptorHeadroom` descriptors below the process's limit (a quarter of a smaller limit) to
// the rest of the app: threads (Qt ends the process when a new thread gets no descriptor), fonts,
// images, sounds and the app's own files.
inline constexpr int kDescriptorHeadroom = 64;

// Whether `fd`, just opened, lies in the headroom. A new descriptor always takes the lowest free
// number, so one that lies there means fewer than the headroom are free: close it again.
bool isInDescriptorHeadroom(int fd);

}  // namespace tandrel
