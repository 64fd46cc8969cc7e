#pragma once

// The one-line file that carries the last chosen skin folder from one run to
// the next: the folder's path followed by CR LF. A bare name, so it lies in
// the working directory of the moment.
inline constexpr char LastPathFileName[] = "lastpath.skin";
