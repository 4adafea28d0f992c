// import and export: waveforms in and out of CSV and WAV files, a batch at a
// time, so files of any length pass through buffers of fixed size.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "tools/vardctl/commands.h"
#include "tools/vardctl/csv.h"
#include "tools/vardctl/errors.h"
#include "tools/vardctl/file_io.h"
#include "tools/vardctl/pool.h"
#include "tools/vardctl/progress.h"
#include "tools/vardctl/text.h"
#include "tools/vardctl/wav.h"

namespace vard::ctl {

namespace {

constexpr std::size_t kBatchSamples = 1 << 20;
// About the size of a CSV file of kProgressThreshold rows.
constexpr std::int64_t kCsvProgressBytes = kProgressThreshold * 16;
constexpr std::int64_t kMaxSamples = std::numeric_limits<std::int32_t>::max();

enum class Format { kCsv, kWav };

Format FormatOf(const std::string& file, const std::string& forced) {
  std::string ext = forced;
  if (ext.empty()) {
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos) ext = file.substr(dot + 1);
  }
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == "csv") return Format::kCsv;
  if (ext == "wav") return Format::kWav;
  throw UsageError("cannot tell the format of " + file + ": name it .csv or .wav, or give --format");
}

struct ImportArgs {
  std::string name, file, format, path, description, units;
  bool units_given = false;
};

void CheckFileUnits(const std::string& units, const char* which) {
  if (units.size() > kMaxUnits)
    throw FileError(1, std::string(which) + " units \"" + units + "\" are longer than 9 bytes");
}

void Finish(NewWaveform* w, const ImportArgs& a) {
  w->Publish();
  if (!a.description.empty()) Check(SetDescription(a.name.c_str(), a.description.c_str()), a.name);
}

void ImportCsv(const ImportArgs& a, File* file) {
  const std::uint64_t bytes = file->Size();
  std::uint64_t consumed = 0;
  CsvReader reader([file, &consumed](char* buffer, std::size_t size) {
    const std::size_t n = file->Read(buffer, size);
    consumed += n;
    return n;
  });
  const CsvHeader header = reader.ReadHeader();
  CheckFileUnits(header.x.units, "the X");
  const std::string y_units = a.units_given ? a.units : header.y.units;
  CheckFileUnits(y_units, "the Y");
  std::vector<float> batch(kBatchSamples);
  // The first batch is read before anything is created: a file that fails
  // early leaves no trace in the pool.
  std::size_t n = reader.ReadRows(batch.data(), batch.size());
  if (n == 0) throw FileError(0, a.file + " has no rows below its header");
  NewWaveform w(a.name, vardFloat, a.path);
  Progress progress("import " + a.name, static_cast<std::int64_t>(bytes), "bytes",
                    bytes >= static_cast<std::uint64_t>(kCsvProgressBytes));
  std::int64_t written = 0;
  for (; n > 0; n = reader.ReadRows(batch.data(), batch.size())) {
    if (written + static_cast<std::int64_t>(n) > kMaxSamples)
      throw Failure(a.file + ": more rows than a waveform holds (2^31 - 1)");
    w.Write(written, written + static_cast<std::int64_t>(n) - 1, batch.data());
    written += static_cast<std::int64_t>(n);
    progress.Advance(static_cast<std::int64_t>(consumed));
  }
  Check(WriteHorizontal(w.handle(), reader.x0(), reader.x_step(), header.x.units.c_str()), a.name);
  Check(WriteVertical(w.handle(), 0, 1, y_units.c_str()), a.name);
  Finish(&w, a);
}

void ImportWav(const ImportArgs& a, File* file) {
  const WavFormat f = ReadWavHeader(
      [file](std::uint64_t offset, void* buffer, std::size_t size) {
        return file->ReadAt(offset, buffer, size);
      },
      file->Size());
  if (f.frames == 0) throw FileError(0, a.file + " holds no samples");
  const std::int64_t frames = static_cast<std::int64_t>(f.frames);
  if (frames > kMaxSamples / f.channels)
    throw Failure(a.file + ": more samples than a waveform holds (2^31 - 1)");
  const bool pcm = f.encoding == WavEncoding::kPcm16;
  NewWaveform w(a.name, pcm ? vardInteger : vardFloat, a.path);
  // Channel c becomes block c: a fixed block length makes the writes of the
  // later channels append blocks.
  if (f.channels > 1) Check(SetWaveformLength(w.handle(), static_cast<long>(frames)), a.name);
  Progress progress("import " + a.name, frames * f.channels, "samples",
                    frames * f.channels >= kProgressThreshold);
  const std::size_t batch_frames = std::max<std::size_t>(1, kBatchSamples / f.channels);
  std::vector<std::uint8_t> raw(batch_frames * f.FrameBytes());
  std::vector<std::uint8_t> channel(batch_frames * f.SampleBytes());
  for (std::int64_t first = 0; first < frames;) {
    const std::int64_t n = std::min<std::int64_t>(frames - first, static_cast<std::int64_t>(batch_frames));
    const std::size_t bytes = static_cast<std::size_t>(n) * f.FrameBytes();
    if (file->ReadAt(f.data_offset + static_cast<std::uint64_t>(first) * f.FrameBytes(), raw.data(),
                     bytes) != bytes)
      throw FileError(0, "truncated WAV file: " + a.file + " ends inside its samples");
    for (int c = 0; c < f.channels; ++c) {
      const std::uint8_t* samples = raw.data();
      if (f.channels > 1) {
        TakeChannel(raw.data(), static_cast<std::size_t>(n), f, c, channel.data());
        samples = channel.data();
      }
      const std::int64_t at = c * frames + first;
      w.Write(at, at + n - 1, samples);
    }
    first += n;
    progress.Advance(first * f.channels);
  }
  Check(WriteHorizontal(w.handle(), 0, 1.0 / f.sample_rate, "s"), a.name);
  const std::string units = a.units_given ? a.units : "";
  Check(WriteVertical(w.handle(), 0, pcm ? 1.0 / 32768 : 1.0, units.c_str()), a.name);
  Finish(&w, a);
}

void Import(const ImportArgs& a) {
  CheckLength(a.name, kMaxName, "the name");
  CheckLength(a.path, kMaxPath, "the path");
  CheckLength(a.units, kMaxUnits, "the units");
  CheckLength(a.description, kMaxDescription, "the description");
  const Format format = FormatOf(a.file, a.format);
  File file(a.file, "rb");
  PoolSession pool;
  short kind = 0;
  if (GetType(a.name.c_str(), &kind) == vardOK)
    throw Failure(a.name + ": " + ReplyCodeName(vardAlreadyExists) + "; remove it first ('vardctl rm')");
  try {
    if (format == Format::kCsv)
      ImportCsv(a, &file);
    else
      ImportWav(a, &file);
  } catch (const FileError& e) {
    throw Failure(a.file + ": " + e.what());
  }
}

struct ExportArgs {
  std::string name, file, format, encoding;
  int block = 0;
};

void ExportCsv(const ExportArgs& a, const LockedWaveform& w, OutputFile* out) {
  const WaveformShape& s = w.shape();
  out->Write(CsvHeaderLine({{"x", s.x_units}, {a.name, s.y_units}}));
  Progress progress("export " + a.name, s.length, "samples", s.length >= kProgressThreshold);
  std::vector<float> batch(kBatchSamples);
  std::string text;
  for (std::int64_t first = 0; first < s.length;) {
    const std::int64_t n = std::min<std::int64_t>(s.length - first, kBatchSamples);
    w.Read(a.block, first, first + n - 1, 1, vardFloat, batch.data());
    text.clear();
    for (std::int64_t i = 0; i < n; ++i) AppendCsvRow(&text, XOf(s, first + i), batch[static_cast<std::size_t>(i)]);
    out->Write(text);
    first += n;
    progress.Advance(first);
  }
}

// The sample rate that the X step stands for, 1/XStep to the nearest hertz.
std::uint32_t SampleRate(const WaveformShape& s, const std::string& name) {
  const double rate = 1 / s.x_step;
  if (!(s.x_step > 0) || !(rate >= 0.5 && rate < 4294967295.5))
    throw Failure(name + ": an X step of " + Shortest(s.x_step) + " gives no WAV sample rate");
  const double rounded = std::round(rate);
  if (std::fabs(rounded - rate) > 1e-6 * rate)
    std::fprintf(stderr, "vardctl: %s: the sample rate 1/%s is rounded to %.0f Hz\n", name.c_str(),
                 Shortest(s.x_step).c_str(), rounded);
  return static_cast<std::uint32_t>(rounded);
}

void ExportWav(const ExportArgs& a, const LockedWaveform& w, OutputFile* out) {
  const WaveformShape& s = w.shape();
  WavFormat f;
  const bool float_samples = s.type == SampleType::kFloat;
  if (a.encoding.empty())
    f.encoding = float_samples ? WavEncoding::kFloat32 : WavEncoding::kPcm16;
  else if (a.encoding == "pcm16" || a.encoding == "float")
    f.encoding = a.encoding == "pcm16" ? WavEncoding::kPcm16 : WavEncoding::kFloat32;
  else
    throw UsageError("--encoding is pcm16 or float, not " + a.encoding);
  f.channels = s.blocks;
  f.sample_rate = SampleRate(s, a.name);
  f.frames = static_cast<std::uint64_t>(s.length);
  const std::vector<std::uint8_t> header = WavHeaderBytes(f);
  out->Write(header.data(), header.size());
  // 16-bit PCM of a float waveform is quantised here; of a 16-bit waveform
  // it is the stored samples; float is the physical values.
  const bool quantise = f.encoding == WavEncoding::kPcm16 && float_samples;
  const short data_type = f.encoding == WavEncoding::kPcm16 && !float_samples ? vardInteger : vardFloat;
  const std::int64_t total = s.length * s.blocks;
  Progress progress("export " + a.name, total, "samples", total >= kProgressThreshold);
  const std::size_t batch_frames = std::max<std::size_t>(1, kBatchSamples / f.channels);
  std::vector<std::uint8_t> frames(batch_frames * f.FrameBytes());
  std::vector<float> samples(batch_frames);
  std::vector<std::int16_t> quantised(quantise ? batch_frames : 0);
  for (std::int64_t first = 0; first < s.length;) {
    const std::int64_t n = std::min<std::int64_t>(s.length - first, static_cast<std::int64_t>(batch_frames));
    for (int b = 0; b < s.blocks; ++b) {
      w.Read(b, first, first + n - 1, 1, data_type, samples.data());
      const void* channel = samples.data();
      if (quantise) {
        for (std::int64_t i = 0; i < n; ++i)
          quantised[static_cast<std::size_t>(i)] = QuantisePcm16(samples[static_cast<std::size_t>(i)]);
        channel = quantised.data();
      }
      PutChannel(channel, static_cast<std::size_t>(n), f, b, frames.data());
    }
    out->Write(frames.data(), static_cast<std::size_t>(n) * f.FrameBytes());
    first += n;
    progress.Advance(first * s.blocks);
  }
}

void Export(const ExportArgs& a) {
  const Format format = FormatOf(a.file, a.format);
  PoolSession pool;
  const LockedWaveform w(a.name);
  if (format == Format::kCsv && (a.block < 0 || a.block >= w.shape().blocks))
    throw UsageError(a.name + " has no block " + std::to_string(a.block) + " (it has " +
                     std::to_string(w.shape().blocks) + ")");
  OutputFile out(a.file);
  if (format == Format::kCsv)
    ExportCsv(a, w, &out);
  else
    ExportWav(a, w, &out);
  out.Commit();
}

}  // namespace

void AddTransferCommands(CLI::App* app) {
  auto in = std::make_shared<ImportArgs>();
  CLI::App* c = app->add_subcommand(
      "import", "Create a waveform from a CSV file (X,Y rows under a header) or a WAV file "
                "(16-bit PCM or 32-bit float; one block per channel)");
  c->add_option("NAME", in->name, "the new waveform")->required();
  c->add_option("FILE", in->file, "the file (.csv or .wav)")->required();
  c->add_option("--format", in->format, "csv or wav, when the file's name does not tell");
  c->add_option("--path", in->path, "where the waveform shows in the tree, its own item last ('Plant.Line1.Pressure')");
  c->add_option("--description", in->description, "the waveform's description");
  c->add_option("--units", in->units, "the Y units (instead of the CSV header's)");
  c->callback([in, c] {
    in->units_given = c->count("--units") > 0;
    Import(*in);
  });

  auto out = std::make_shared<ExportArgs>();
  c = app->add_subcommand("export", "Write a waveform to a CSV file (one block) or a WAV file "
                                    "(every block, one channel each)");
  c->add_option("NAME", out->name, "the waveform")->required();
  c->add_option("FILE", out->file, "the file (.csv or .wav)")->required();
  c->add_option("--format", out->format, "csv or wav, when the file's name does not tell");
  c->add_option("--block", out->block, "the block a CSV file holds (default 0)");
  c->add_option("--encoding", out->encoding,
                "WAV samples: pcm16 or float (default: the waveform's own, float or 16-bit)");
  c->callback([out] { Export(*out); });
}

}  // namespace vard::ctl
