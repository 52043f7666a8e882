#include "package/reproducible_build.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/sha1.h"
#include "project/install_target.h"
#include "project/text_properties.h"

namespace kb {

std::optional<std::int64_t> SourceDateEpoch(std::string* problem) {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (text == nullptr || *text == '\0') return std::nullopt;
  std::int64_t seconds = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || seconds > (INT64_MAX - 9) / 10) {
      *problem = std::string("SOURCE_DATE_EPOCH is \"") + text +
                 "\", not a number of seconds since 1970\nSet it to one, or unset it";
      return std::nullopt;
    }
    seconds = seconds * 10 + (*c - '0');
  }
  return seconds;
}

std::string ReproducibleSeed(const CProjectSettings& settings, std::int64_t epoch) {
  std::string seed = "kitbinder reproducible build\n" + std::to_string(epoch);
  const auto add = [&seed](std::string_view value) {
    seed += '\0';
    seed += value;
  };
  for (const TextProperty& property : kTextProperties) add(settings.*property.member);
  add(settings.noquestions ? "1" : "0");
  add(settings.productcodeversion);
  add(InstallScopeText(settings.installscope));
  add(TargetPlatformText(settings.platform));
  add(settings.compression);
  // A key that came after the first reproducible builds joins the seed, marked, only when set,
  // so that a project without it keeps the codes it has always had.
  const auto add_key = [&add](std::string_view key) { add('\x01' + std::string(key)); };
  if (settings.addtopath) add_key("addtopath");
  if (settings.externalcabinets) add_key("externalcabinets");
  for (const ProjectFileEntry& file : settings.files) {
    for (const std::string* text : {&file.path, &file.shortcutname, &file.shortcuticon, &file.id,
                                    &file.componentid, &file.componentguid, &file.shortcuttarget}) {
      add(*text);
    }
    add(file.setkdir ? "1" : "0");
    add(file.desktopshortcut ? "1" : "0");
    if (file.launchonexit) add_key("launchonexit");
    if (!file.extensions.empty() || !file.extensiondescription.empty()) {
      add_key("extensions");
      add(file.extensions);
      add(file.extensiondescription);
    }
  }
  for (const ProjectIconEntry& icon : settings.icons) add(icon.path);
  return seed;
}

std::string JoinedDigestText(const std::string& path, int rest, std::uint64_t rest_size) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  platform::Sha1Stream stream;
  std::string buffer(1 << 16, '\0');
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    stream.Add(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
  }
  for (std::uint64_t done = 0; done < rest_size;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), rest_size - done));
    const ssize_t got = ::pread(rest, buffer.data(), want, static_cast<off_t>(done));
    if (got <= 0) return std::string();
    stream.Add(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
    done += static_cast<std::uint64_t>(got);
  }
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : stream.Digest()) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace kb
