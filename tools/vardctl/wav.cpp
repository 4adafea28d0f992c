#include "tools/vardctl/wav.h"

#include <cmath>
#include <cstring>
#include <string>

namespace vard::ctl {

namespace {

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kIeeeFloat = 3;
constexpr std::uint16_t kExtensible = 0xFFFE;
// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE after its first two bytes,
// which carry the plain format tag.
constexpr std::uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
  return U16(p) | static_cast<std::uint32_t>(U16(p + 2)) << 16;
}
void Put16(std::vector<std::uint8_t>* out, std::uint32_t v) {
  out->push_back(static_cast<std::uint8_t>(v));
  out->push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>* out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void PutId(std::vector<std::uint8_t>* out, const char* id) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(id[i]));
}

std::string Hex(unsigned v) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) s += kDigits[(v >> shift) & 0xF];
  return s;
}

[[noreturn]] void Unsupported(const std::string& what) {
  throw FileError(0, "unsupported WAV format: " + what +
                         " (vardctl reads 16-bit PCM and 32-bit IEEE float)");
}

// Decodes a "fmt " chunk of `size` bytes, of which `bytes` holds the first
// 40 at most.
WavFormat DecodeFormat(const std::uint8_t* bytes, std::uint32_t size) {
  if (size < 16) throw FileError(0, "damaged WAV file: a fmt chunk of " + std::to_string(size) + " bytes");
  std::uint16_t tag = U16(bytes);
  const int channels = U16(bytes + 2);
  WavFormat f;
  f.channels = channels;
  f.sample_rate = U32(bytes + 4);
  const unsigned align = U16(bytes + 12);
  const unsigned bits = U16(bytes + 14);
  unsigned valid_bits = bits;
  if (tag == kExtensible) {
    if (size < 40) throw FileError(0, "damaged WAV file: a short WAVE_FORMAT_EXTENSIBLE fmt chunk");
    valid_bits = U16(bytes + 18);
    if (std::memcmp(bytes + 26, kGuidTail, sizeof kGuidTail) != 0) Unsupported("an unknown sub-format");
    tag = U16(bytes + 24);
  }
  if (tag == kPcm && bits == 16 && valid_bits == 16) {
    f.encoding = WavEncoding::kPcm16;
  } else if (tag == kIeeeFloat && bits == 32 && valid_bits == 32) {
    f.encoding = WavEncoding::kFloat32;
  } else if (tag == kPcm) {
    Unsupported(std::to_string(valid_bits) + "-bit PCM");
  } else if (tag == kIeeeFloat) {
    Unsupported(std::to_string(bits) + "-bit float");
  } else {
    Unsupported("format tag " + Hex(tag));
  }
  if (channels == 0) throw FileError(0, "damaged WAV file: no channels");
  if (channels > 32767) throw FileError(0, "a WAV file of more than 32767 channels");
  if (f.sample_rate == 0) throw FileError(0, "damaged WAV file: a sample rate of 0");
  if (align != static_cast<unsigned>(f.FrameBytes()))
    throw FileError(0, "damaged WAV file: frames of " + std::to_string(align) + " bytes, expected " +
                           std::to_string(f.FrameBytes()));
  return f;
}

}  // namespace

WavFormat ReadWavHeader(const ReadAt& read_at, std::uint64_t file_size) {
  std::uint8_t riff[12] = {};
  if (file_size < 12 || read_at(0, riff, 12) != 12)
    throw FileError(0, "not a WAV file: shorter than a RIFF header");
  if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
    throw FileError(0, "not a WAV file: no RIFF/WAVE header");
  bool have_format = false;
  WavFormat format;
  std::uint64_t offset = 12;
  for (;;) {
    std::uint8_t chunk[8];
    if (offset + 8 > file_size || read_at(offset, chunk, 8) != 8)
      throw FileError(0, "truncated WAV file: it ends before its data chunk");
    const std::uint32_t size = U32(chunk + 4);
    const std::uint64_t body = offset + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      std::uint8_t bytes[40] = {};
      const std::size_t want = size < sizeof bytes ? size : sizeof bytes;
      if (body + want > file_size || read_at(body, bytes, want) != want)
        throw FileError(0, "truncated WAV file: it ends inside its fmt chunk");
      format = DecodeFormat(bytes, size);
      have_format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_format) throw FileError(0, "damaged WAV file: data before the fmt chunk");
      if (body + size > file_size)
        throw FileError(0, "truncated WAV file: its data chunk declares " + std::to_string(size) +
                               " bytes, the file holds " + std::to_string(file_size - body));
      if (size % static_cast<std::uint32_t>(format.FrameBytes()) != 0)
        throw FileError(0, "damaged WAV file: " + std::to_string(size) +
                               " data bytes are not whole frames of " +
                               std::to_string(format.FrameBytes()));
      format.frames = size / static_cast<std::uint32_t>(format.FrameBytes());
      format.data_offset = body;
      return format;
    }
    offset = body + size + (size & 1);
  }
}

std::vector<std::uint8_t> WavHeaderBytes(const WavFormat& format) {
  const bool pcm = format.encoding == WavEncoding::kPcm16;
  const std::uint32_t fmt_size = pcm ? 16 : 18;
  const std::uint64_t header = pcm ? 44 : 58;
  const std::uint64_t data = format.frames * static_cast<std::uint64_t>(format.FrameBytes());
  if (header - 8 + data > 0xFFFFFFFFull)
    throw FileError(0, "too large for a WAV file: " + std::to_string(data) + " bytes of samples");
  std::vector<std::uint8_t> out;
  PutId(&out, "RIFF");
  Put32(&out, static_cast<std::uint32_t>(header - 8 + data));
  PutId(&out, "WAVE");
  PutId(&out, "fmt ");
  Put32(&out, fmt_size);
  Put16(&out, pcm ? kPcm : kIeeeFloat);
  Put16(&out, static_cast<std::uint32_t>(format.channels));
  Put32(&out, format.sample_rate);
  Put32(&out, format.sample_rate * static_cast<std::uint32_t>(format.FrameBytes()));
  Put16(&out, static_cast<std::uint32_t>(format.FrameBytes()));
  Put16(&out, static_cast<std::uint32_t>(format.SampleBytes() * 8));
  if (!pcm) {
    Put16(&out, 0);  // no extension bytes
    PutId(&out, "fact");  // every format but PCM has one: the frames per channel
    Put32(&out, 4);
    Put32(&out, static_cast<std::uint32_t>(format.frames));
  }
  PutId(&out, "data");
  Put32(&out, static_cast<std::uint32_t>(data));
  return out;
}

std::int16_t QuantisePcm16(float value) {
  if (std::isnan(value)) return 0;
  const double scaled = std::round(static_cast<double>(value) * 32768.0);
  if (scaled >= 32767.0) return 32767;
  if (scaled <= -32768.0) return -32768;
  return static_cast<std::int16_t>(scaled);
}

void TakeChannel(const std::uint8_t* frames, std::size_t count, const WavFormat& format,
                 int channel, void* samples) {
  const std::size_t size = static_cast<std::size_t>(format.SampleBytes());
  const std::size_t stride = static_cast<std::size_t>(format.FrameBytes());
  if (format.channels == 1) {
    std::memcpy(samples, frames, count * size);
    return;
  }
  const std::uint8_t* from = frames + static_cast<std::size_t>(channel) * size;
  auto* to = static_cast<std::uint8_t*>(samples);
  for (std::size_t i = 0; i < count; ++i, from += stride, to += size) std::memcpy(to, from, size);
}

void PutChannel(const void* samples, std::size_t count, const WavFormat& format, int channel,
                std::uint8_t* frames) {
  const std::size_t size = static_cast<std::size_t>(format.SampleBytes());
  const std::size_t stride = static_cast<std::size_t>(format.FrameBytes());
  if (format.channels == 1) {
    std::memcpy(frames, samples, count * size);
    return;
  }
  const auto* from = static_cast<const std::uint8_t*>(samples);
  std::uint8_t* to = frames + static_cast<std::size_t>(channel) * size;
  for (std::size_t i = 0; i < count; ++i, from += size, to += stride) std::memcpy(to, from, size);
}

}  // namespace vard::ctl
