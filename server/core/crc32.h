// CRC-32 as zip, PNG and Ethernet use it: reflected polynomial 0xEDB88320,
// initial value and final XOR 0xFFFFFFFF. Collection files carry it on every
// record and on the whole file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vard::server {

// The CRC of `size` more bytes after a text whose CRC is `crc` (0 for none):
// updating in pieces gives the same value as all at once.
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t size) noexcept;

// The CRC of a text A followed by a text B, from the CRC of A, the CRC of B
// and B's length, in O(log length) steps: the file's CRC is built from its
// records' CRCs instead of passing every sample through a second CRC.
std::uint32_t Crc32Combine(std::uint32_t crc_a, std::uint32_t crc_b,
                           std::uint64_t length_b) noexcept;

}  // namespace vard::server
