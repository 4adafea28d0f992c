// Loading a collection file into the pool, all or nothing.
//
// A first pass reads the whole file and checks everything: the magic and
// version, every record's CRC, length and fields, the trailer's count,
// offset and whole-file CRC, and that every variable would fit under the
// prefix. Only a file that passes is read a second time, and the second pass
// builds every variable privately (waveforms through the store's writer,
// chunk by chunk, so a large one is never held twice), checking the CRCs
// again in case the file changed in between. Then all of them go into the
// pool under one hold of its lock, or none does.
//
// A loaded variable takes the place of a pool variable of the same name, of
// any kind; when the file holds a name twice, the later record wins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vard::server {

class FileSystem;
class Pool;

// The prefix is one or more path levels put in front of every loaded
// variable's path (empty: the paths as saved).
inline constexpr std::size_t kMaxPrefixLength = 29;

// Answers a vardCollError code, or vardProcNotAllowed when a variable it
// would replace is a waveform open for writing (docs/collections.md lists
// every condition). Whatever it answers but vardCollReturnOK, the pool is as
// it was.
std::uint16_t LoadCollection(FileSystem& fs, Pool& pool, const std::string& path,
                             std::string_view prefix);

}  // namespace vard::server
