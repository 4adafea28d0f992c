// The WAV files vardctl imports and exports: 16-bit PCM or 32-bit IEEE
// float, one channel per waveform block. Portable: no platform calls; the
// samples are little-endian in the file and in memory alike.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "tools/vardctl/errors.h"

namespace vard::ctl {

static_assert(std::endian::native == std::endian::little,
              "WAV samples are copied as they lie in the file");

enum class WavEncoding { kPcm16, kFloat32 };

struct WavFormat {
  WavEncoding encoding = WavEncoding::kPcm16;
  int channels = 1;
  std::uint32_t sample_rate = 0;
  std::uint64_t frames = 0;
  std::uint64_t data_offset = 0;  // of the first frame in the file

  int SampleBytes() const { return encoding == WavEncoding::kPcm16 ? 2 : 4; }
  int FrameBytes() const { return channels * SampleBytes(); }
};

// Reads up to `size` bytes at `offset` of the file; how many it read.
using ReadAt = std::function<std::size_t(std::uint64_t offset, void* buffer, std::size_t size)>;

// Walks the RIFF chunks of a file of `file_size` bytes up to its data chunk.
// Throws FileError for anything but a whole 16-bit PCM or 32-bit float WAV
// file (plain or WAVE_FORMAT_EXTENSIBLE).
WavFormat ReadWavHeader(const ReadAt& read_at, std::uint64_t file_size);

// Everything before the first frame of a file in `format` holding
// `format.frames` frames. Throws FileError when that is more than a RIFF
// file can hold (4 GiB).
std::vector<std::uint8_t> WavHeaderBytes(const WavFormat& format);

// A full-scale float (−1 … 1) as a 16-bit sample: round(v · 32768), halves
// away from zero, saturated to −32768 … 32767; NaN becomes 0.
std::int16_t QuantisePcm16(float value);

// Copies channel `channel` of `count` interleaved frames into `samples`
// (2- or 4-byte elements, the encoding's), and back.
void TakeChannel(const std::uint8_t* frames, std::size_t count, const WavFormat& format,
                 int channel, void* samples);
void PutChannel(const void* samples, std::size_t count, const WavFormat& format, int channel,
                std::uint8_t* frames);

}  // namespace vard::ctl
