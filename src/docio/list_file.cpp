#include "docio/list_file.h"


namespace klangor {
namespace {

// Everything but the unreserved characters of a URL as %XX.
std::string PercentEncoded(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string XmlEscaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string ListFileText(const std::string& extension, const LListEntry& e) {
  std::string root = e.rootUrl;
  if (!root.empty() && root.back() != '/') root += '/';
  const std::string file = PercentEncoded(e.mp3Name);
  const std::string url = root + file;
  const std::string seconds = std::to_string(e.seconds);
  if (extension == ".m3u") return "#EXTM3U\r\n#EXTINF:" + seconds + "," + e.title + "\r\n" + url + "\r\n";
  if (extension == ".pls") {
    return "[playlist]\r\nFile1=" + url + "\r\nTitle1=" + e.title + "\r\nLength1=" + seconds +
           "\r\nNumberOfEntries=1\r\nVersion=2\r\n";
  }
  const std::string title = XmlEscaped(e.title);
  if (extension == ".wpl") {
    return "<?wpl version=\"1.0\"?>\r\n<smil>\r\n    <head>\r\n        <title>" + title +
           "</title>\r\n    </head>\r\n    <body>\r\n        <seq>\r\n            <media src=\"" + XmlEscaped(url) +
           "\"/>\r\n        </seq>\r\n    </body>\r\n</smil>\r\n";
  }
  if (extension == ".rss") {
    return "<?xml version=\"1.0\" ?>\r\n<rss version=\"2.0\">\r\n  <channel>\r\n      <title>" + title +
           "</title>\r\n      <description>" + title + "</description>\r\n      <link>" + XmlEscaped(e.rootUrl) +
           "</link>\r\n      <item>\r\n         <title>" + title + "</title>\r\n         <description>" + title +
           "</description>\r\n         <enclosure url=\"" + XmlEscaped(root) + XmlEscaped(file) + "\" length=\"" +
           std::to_string(e.mp3Bytes) + "\" type=\"audio/mpeg\" />\r\n      </item>\r\n  </channel>\r\n</rss>\r\n";
  }
  return {};
}

}  // namespace klangor
