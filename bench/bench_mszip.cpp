// Compares the MSZIP compressor with zlib at levels 6 and 9 on the same 32,768-byte blocks,
// each block with the previous one as history, on three corpora of 50 MiB collected from the
// system in sorted path order: text, executables and libraries, already-compressed files.
// The compressors take turns every 1 MiB, so that a busy machine slows them alike.
// Prints compressed size and speed; the CRC-32 of our output makes a golden value for checking
// that speed work leaves the bytes alone. Our output is also decoded with zlib, untimed.
//
// Run by hand: make release && build/release/bin/bench_mszip
//
// `bench_mszip --only text|executables|compressed MEGABYTES` compresses the first MEGABYTES of
// one corpus with our compressor alone and prints its size and CRC-32: a run small enough for
// valgrind --tool=callgrind, whose instruction counts do not depend on the machine's load.

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cabinet/deflate/mszip_compressor.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using kb::cabinet::MszipCompressor;
using kb::cabinet::MszipResult;

constexpr std::size_t kCorpusSize = 50u << 20;
constexpr std::size_t kBlock = 32768;
constexpr std::size_t kChunk = 32 * kBlock;  // the compressors take turns at this size
constexpr int kRounds = 3;                   // passes over the corpus; the fastest counts

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Regular files under `root` (recursively or not) that `wanted` accepts, in sorted path
// order, concatenated up to `limit` bytes.
Bytes Collect(const fs::path& root, bool recursive, std::size_t limit,
              const std::function<bool(const fs::path&, const Bytes&)>& wanted) {
  std::vector<fs::path> paths;
  std::error_code ignored;
  const auto add = [&](const fs::directory_entry& entry) {
    if (entry.is_regular_file(ignored) && !entry.is_symlink(ignored)) paths.push_back(entry);
  };
  if (recursive) {
    for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) add(entry);
  } else {
    for (const auto& entry : fs::directory_iterator(root, ignored)) add(entry);
  }
  std::sort(paths.begin(), paths.end());
  Bytes corpus;
  for (const fs::path& path : paths) {
    if (corpus.size() >= limit) break;
    const Bytes data = ReadFile(path);
    if (wanted(path, data)) corpus.insert(corpus.end(), data.begin(), data.end());
  }
  corpus.resize(std::min(corpus.size(), limit));
  return corpus;
}

// Half the corpus from each root.
Bytes CollectHalves(const fs::path& first, const fs::path& second, bool recursive,
                    std::size_t limit,
                    const std::function<bool(const fs::path&, const Bytes&)>& wanted) {
  Bytes corpus = Collect(first, recursive, limit / 2, wanted);
  const Bytes rest = Collect(second, recursive, limit - corpus.size(), wanted);
  corpus.insert(corpus.end(), rest.begin(), rest.end());
  return corpus;
}

bool LooksLikeText(const fs::path&, const Bytes& data) {
  const std::size_t head = std::min<std::size_t>(data.size(), 4096);
  return std::find(data.begin(), data.begin() + head, 0) == data.begin() + head;
}

bool IsGzip(const fs::path& path, const Bytes&) {
  return path.extension() == ".gz";
}

bool Anything(const fs::path&, const Bytes&) {
  return true;
}

struct Outcome {
  std::size_t bytes = 0;
  double seconds = 0;
  std::uint32_t crc = 0;
};

// Our compressor over the corpus, block after block, history carried between full blocks.
class MszipRun {
 public:
  MszipRun() {
    if (MszipCompressor::Create(kBlock, &compressor_, &capacity_) != MszipResult::kOk) {
      std::fprintf(stderr, "no memory for the compressor\n");
      std::exit(1);
    }
    out_.resize(capacity_);
  }

  // Returns the MSZIP block; valid until the next call.
  std::span<const std::uint8_t> CompressBlock(std::span<const std::uint8_t> block) {
    std::uint16_t size = 0;
    if (compressor_->Compress(std::as_bytes(block), std::as_writable_bytes(std::span(out_)),
                              &size) != MszipResult::kOk) {
      std::fprintf(stderr, "compression failed\n");
    }
    return std::span(out_).first(size);
  }

  void Compress(std::span<const std::uint8_t> blocks, Outcome& outcome) {
    for (std::size_t at = 0; at < blocks.size(); at += kBlock) {
      const auto out = CompressBlock(blocks.subspan(at, std::min(kBlock, blocks.size() - at)));
      outcome.bytes += out.size();
      outcome.crc = crc32(outcome.crc, out.data(), static_cast<uInt>(out.size()));
    }
  }

 private:
  std::unique_ptr<MszipCompressor> compressor_;
  std::size_t capacity_ = 0;
  Bytes out_;
};

// zlib raw Deflate per block, with the previous block as dictionary; sizes count "CK" too.
class ZlibRun {
 public:
  explicit ZlibRun(int level) {
    deflateInit2(&z_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    out_.resize(deflateBound(&z_, kBlock));
  }
  ~ZlibRun() { deflateEnd(&z_); }
  ZlibRun(const ZlibRun&) = delete;
  ZlibRun& operator=(const ZlibRun&) = delete;

  // REQUIRES: `blocks` starts on a block boundary of `corpus`.
  void Compress(std::span<const std::uint8_t> corpus, std::span<const std::uint8_t> blocks,
                Outcome& outcome) {
    for (std::size_t at = 0; at < blocks.size(); at += kBlock) {
      const std::uint8_t* block = blocks.data() + at;
      deflateReset(&z_);
      if (block != corpus.data()) deflateSetDictionary(&z_, block - kBlock, kBlock);
      z_.next_in = const_cast<Bytef*>(block);
      z_.avail_in = static_cast<uInt>(std::min(kBlock, blocks.size() - at));
      z_.next_out = out_.data();
      z_.avail_out = static_cast<uInt>(out_.size());
      deflate(&z_, Z_FINISH);
      outcome.bytes += 2 + z_.total_out;
    }
  }

 private:
  z_stream z_{};
  Bytes out_;
};

template <typename Work>
void Timed(Outcome& outcome, Work work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  outcome.seconds +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One pass of the three compressors over the corpus, taking turns every kChunk bytes so that
// they share whatever else the machine is doing.
void RunRound(std::span<const std::uint8_t> corpus, Outcome& ours, Outcome& zlib6, Outcome& zlib9) {
  MszipRun mszip;
  ZlibRun level6(6), level9(9);
  for (std::size_t at = 0; at < corpus.size(); at += kChunk) {
    const auto blocks = corpus.subspan(at, std::min(kChunk, corpus.size() - at));
    Timed(ours, [&] { mszip.Compress(blocks, ours); });
    Timed(zlib6, [&] { level6.Compress(corpus, blocks, zlib6); });
    Timed(zlib9, [&] { level9.Compress(corpus, blocks, zlib9); });
  }
}

// Decodes every block of our output with zlib and compares it with the corpus.
bool RoundTrips(std::span<const std::uint8_t> corpus) {
  MszipRun mszip;
  Bytes back(kBlock);
  for (std::size_t at = 0; at < corpus.size(); at += kBlock) {
    const auto block = corpus.subspan(at, std::min(kBlock, corpus.size() - at));
    const auto out = mszip.CompressBlock(block);
    z_stream z{};
    inflateInit2(&z, -15);
    if (at > 0) inflateSetDictionary(&z, corpus.data() + at - kBlock, kBlock);
    z.next_in = const_cast<Bytef*>(out.data() + 2);
    z.avail_in = static_cast<uInt>(out.size() - 2);
    z.next_out = back.data();
    z.avail_out = static_cast<uInt>(back.size());
    const bool ok = inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == block.size() &&
                    std::equal(block.begin(), block.end(), back.begin());
    inflateEnd(&z);
    if (!ok) return false;
  }
  return true;
}

void Report(const char* name, std::span<const std::uint8_t> corpus) {
  Outcome ours, zlib6, zlib9;
  for (int round = 0; round < kRounds; ++round) {
    Outcome round_ours, round_zlib6, round_zlib9;
    RunRound(corpus, round_ours, round_zlib6, round_zlib9);
    const auto keep_faster = [round](Outcome& kept, const Outcome& run) {
      if (round == 0 || run.seconds < kept.seconds) kept = run;
    };
    keep_faster(ours, round_ours);
    keep_faster(zlib6, round_zlib6);
    keep_faster(zlib9, round_zlib9);
  }
  const double mb = corpus.size() / 1e6;
  std::printf("%s: %.1f MB, our output CRC-32 %08x, decodes with zlib: %s\n", name, mb, ours.crc,
              RoundTrips(corpus) ? "yes" : "NO");
  std::printf("  %-10s %12s %8s %9s %10s %10s\n", "compressor", "bytes", "ratio", "MB/s",
              "size/zlib9", "speed/zlib9");
  const auto row = [&](const char* label, const Outcome& o) {
    std::printf("  %-10s %12zu %7.2f%% %9.1f %10.4f %10.2f\n", label, o.bytes,
                100.0 * o.bytes / corpus.size(), mb / o.seconds,
                static_cast<double>(o.bytes) / zlib9.bytes, zlib9.seconds / o.seconds);
  };
  row("mszip", ours);
  row("zlib -6", zlib6);
  row("zlib -9", zlib9);
}

struct Corpus {
  const char* key;
  const char* title;
  Bytes (*collect)(std::size_t limit);
};

constexpr Corpus kCorpora[] = {
    {"text", "text (/usr/share/doc, files without NUL)",
     [](std::size_t limit) { return Collect("/usr/share/doc", true, limit, LooksLikeText); }},
    {"executables", "executables (/usr/lib/x86_64-linux-gnu, /usr/bin)",
     [](std::size_t limit) {
       return CollectHalves("/usr/lib/x86_64-linux-gnu", "/usr/bin", false, limit, Anything);
     }},
    {"compressed", "compressed (.gz under /usr/share/doc, /usr/share/man)",
     [](std::size_t limit) {
       return CollectHalves("/usr/share/doc", "/usr/share/man", true, limit, IsGzip);
     }},
};

// Our compressor alone over the first `megabytes` of one corpus.
int CompressOnly(std::string_view key, std::size_t megabytes) {
  for (const Corpus& corpus : kCorpora) {
    if (key != corpus.key) continue;
    const Bytes data = corpus.collect(megabytes << 20);
    Outcome ours;
    MszipRun().Compress(data, ours);
    std::printf("%s: %zu bytes -> %zu, CRC-32 %08x\n", corpus.key, data.size(), ours.bytes,
                ours.crc);
    return 0;
  }
  std::fprintf(stderr, "usage: bench_mszip [--only text|executables|compressed MEGABYTES]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string_view(argv[1]) == "--only") {
    return CompressOnly(argv[2], static_cast<std::size_t>(std::atol(argv[3])));
  }
  for (const Corpus& corpus : kCorpora) Report(corpus.title, corpus.collect(kCorpusSize));
}
