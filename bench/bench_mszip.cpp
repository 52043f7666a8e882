// Compares the MSZIP compressor with zlib at levels 6 and 9 on the same 32,768-byte blocks,
// each block with the previous one as history, on three corpora of 50 MB collected from the
// system in sorted path order: text, executables and libraries, already-compressed files.
// Prints compressed size and speed; the CRC-32 of our output makes a golden value for checking
// that speed work leaves the bytes alone. Our output is also decoded with zlib, untimed.
//
// Run by hand: make release && build/release/bin/bench_mszip

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cabinet/mszip_compressor.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using kb::cabinet::MszipCompressor;
using kb::cabinet::MszipResult;

constexpr std::size_t kCorpusSize = 50u << 20;
constexpr std::size_t kBlock = 32768;
constexpr int kRounds = 3;  // each compressor runs this often, interleaved; the best time counts

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
                    const std::function<bool(const fs::path&, const Bytes&)>& wanted) {
  Bytes corpus = Collect(first, recursive, kCorpusSize / 2, wanted);
  const Bytes rest = Collect(second, recursive, kCorpusSize - corpus.size(), wanted);
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

Outcome CompressWithMszip(std::span<const std::uint8_t> corpus) {
  std::unique_ptr<MszipCompressor> compressor;
  std::size_t capacity = 0;
  Outcome outcome;
  if (MszipCompressor::Create(kBlock, &compressor, &capacity) != MszipResult::kOk) return outcome;
  Bytes out(capacity);
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t at = 0; at < corpus.size(); at += kBlock) {
    const auto block = corpus.subspan(at, std::min(kBlock, corpus.size() - at));
    std::uint16_t size = 0;
    if (compressor->Compress(std::as_bytes(block), std::as_writable_bytes(std::span(out)), &size) !=
        MszipResult::kOk) {
      std::fprintf(stderr, "compression failed at %zu\n", at);
    }
    outcome.bytes += size;
    outcome.crc = crc32(outcome.crc, out.data(), size);
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

// Raw Deflate per block with the previous block as dictionary; sizes count "CK" as well.
Outcome CompressWithZlib(std::span<const std::uint8_t> corpus, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, kBlock));
  Outcome outcome;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t at = 0; at < corpus.size(); at += kBlock) {
    deflateReset(&z);
    if (at > 0) deflateSetDictionary(&z, corpus.data() + at - kBlock, kBlock);
    z.next_in = const_cast<Bytef*>(corpus.data() + at);
    z.avail_in = static_cast<uInt>(std::min(kBlock, corpus.size() - at));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    outcome.bytes += 2 + z.total_out;
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  deflateEnd(&z);
  return outcome;
}

// Decodes every block of our output with zlib and compares it with the corpus.
bool RoundTrips(std::span<const std::uint8_t> corpus) {
  std::unique_ptr<MszipCompressor> compressor;
  std::size_t capacity = 0;
  MszipCompressor::Create(kBlock, &compressor, &capacity);
  Bytes out(capacity), back(kBlock);
  for (std::size_t at = 0; at < corpus.size(); at += kBlock) {
    const auto block = corpus.subspan(at, std::min(kBlock, corpus.size() - at));
    std::uint16_t size = 0;
    compressor->Compress(std::as_bytes(block), std::as_writable_bytes(std::span(out)), &size);
    z_stream z{};
    inflateInit2(&z, -15);
    if (at > 0) inflateSetDictionary(&z, corpus.data() + at - kBlock, kBlock);
    z.next_in = out.data() + 2;
    z.avail_in = size - 2u;
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
    const auto keep_faster = [round](Outcome& kept, const Outcome& run) {
      if (round == 0 || run.seconds < kept.seconds) kept = run;
    };
    keep_faster(ours, CompressWithMszip(corpus));
    keep_faster(zlib6, CompressWithZlib(corpus, 6));
    keep_faster(zlib9, CompressWithZlib(corpus, 9));
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

}  // namespace

int main() {
  const Bytes text = Collect("/usr/share/doc", true, kCorpusSize, LooksLikeText);
  const Bytes binaries = CollectHalves("/usr/lib/x86_64-linux-gnu", "/usr/bin", false, Anything);
  const Bytes compressed = CollectHalves("/usr/share/doc", "/usr/share/man", true, IsGzip);
  Report("text (/usr/share/doc, files without NUL)", text);
  Report("executables (/usr/lib/x86_64-linux-gnu, /usr/bin)", binaries);
  Report("compressed (.gz under /usr/share/doc, /usr/share/man)", compressed);
}
