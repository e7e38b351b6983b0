// The update site under /vellora/: the published page and its version, and the site's own
// files (manifest, icons, service worker), which a site folder may replace with its own.
#include "core/jstext.hpp"
#include "core/page.hpp"
#include "core/texts.hpp"
#include "http/service.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>

// Linked in from server/site and the drawn icons (ld -r -b binary).
extern "C" {
extern const char _binary_manifest_json_start[], _binary_manifest_json_end[];
extern const char _binary_sw_js_start[], _binary_sw_js_end[];
extern const char _binary_icon_180_png_start[], _binary_icon_180_png_end[];
extern const char _binary_icon_192_png_start[], _binary_icon_192_png_end[];
}

namespace vs {

namespace fs = std::filesystem;

namespace {

bool read_file(const fs::path &p, std::string &out) {
  std::ifstream f(p, std::ios::binary);
  if (!f)
    return false;
  std::ostringstream ss;
  ss << f.rdbuf();
  out = ss.str();
  return static_cast<bool>(f) || f.eof();
}

// Writes beside the target and renames over it, so a reader sees the old or the new file whole.
bool write_file(const fs::path &p, const std::string &data) {
  fs::path tmp = p;
  tmp += ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f)
      return false;
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    f.flush();
    if (!f)
      return false;
  }
  std::error_code ec;
  fs::rename(tmp, p, ec);
  return !ec;
}

Reply not_found() {
  Reply r;
  r.status = 404;
  r.body = std::string("{\"ok\":false,\"error\":\"") + txt::kNotFound + "\"}";
  return r;
}

const char *kSiteFiles[] = {"manifest.json", "sw.js", "icon-180.png", "icon-192.png"};

} // namespace

const std::string *builtin_site_file(const std::string &name) {
  static const std::string manifest(_binary_manifest_json_start, _binary_manifest_json_end);
  static const std::string sw(_binary_sw_js_start, _binary_sw_js_end);
  static const std::string i180(_binary_icon_180_png_start, _binary_icon_180_png_end);
  static const std::string i192(_binary_icon_192_png_start, _binary_icon_192_png_end);
  if (name == "manifest.json")
    return &manifest;
  if (name == "sw.js")
    return &sw;
  if (name == "icon-180.png")
    return &i180;
  if (name == "icon-192.png")
    return &i192;
  return nullptr;
}

const char *site_content_type(const std::string &name) {
  auto ends = [&](const char *ext) {
    std::string e(ext);
    return name.size() >= e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
  };
  if (ends(".html"))
    return "text/html; charset=utf-8";
  if (ends(".js"))
    return "text/javascript; charset=utf-8";
  if (ends(".png"))
    return "image/png";
  if (name == "manifest.json")
    return "application/manifest+json";
  return "application/json; charset=utf-8";
}

Reply Service::site(const Request &r, const std::string &path) {
  if (path == "/" || path == "/vellora") {
    Reply red;
    red.status = 302;
    red.location = "/vellora/";
    red.body = "";
    red.content_type = "text/plain; charset=utf-8";
    return red;
  }
  static const std::string prefix = "/vellora/";
  if (path.compare(0, prefix.size(), prefix) != 0)
    return not_found();
  if (r.method != "GET" && r.method != "HEAD") {
    Reply bad;
    bad.status = 405;
    bad.body = std::string("{\"ok\":false,\"error\":\"") + txt::kBadMethod + "\"}";
    return bad;
  }
  std::string name = path.substr(prefix.size());
  if (name.empty() || name == "index.html" || name == "app.html" || name == "version.json") {
    // The version is read from the very page served, so that the two can never disagree.
    std::string html;
    if (!read_file(fs::path(site_dir_) / "app.html", html))
      return not_found();
    Reply out;
    if (name == "version.json") {
      std::string ver = page_version(html);
      if (ver.empty())
        return not_found();
      out.body = "{\"ver\":";
      js_quote_to(ver, out.body);
      out.body += "}";
    } else {
      out.body = std::move(html);
      out.content_type = site_content_type("app.html");
      if (name != "app.html")
        out.cache_control = "no-cache";
    }
    return out;
  }
  for (const char *f : kSiteFiles) {
    if (name != f)
      continue;
    Reply out;
    out.content_type = site_content_type(name);
    // The service worker and the manifest are revalidated; the icons may be cached a day.
    out.cache_control =
        name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0 ? "max-age=86400" : "no-cache";
    if (!read_file(fs::path(site_dir_) / name, out.body))
      out.body = *builtin_site_file(name);
    return out;
  }
  return not_found();
}

std::string publish_page(const std::string &page_file, const std::string &site_dir, std::string &ver) {
  std::string html;
  if (!read_file(page_file, html))
    return "cannot read " + page_file;
  ver = page_version(html);
  if (ver.empty())
    return page_file + " is not a built page with one built-in version (BUILT_IN)";
  std::error_code ec;
  fs::create_directories(site_dir, ec);
  if (ec)
    return "cannot create " + site_dir + ": " + ec.message();
  fs::path dir(site_dir);
  // The page first, then the version that names it.
  if (!write_file(dir / "app.html", html))
    return "cannot write " + (dir / "app.html").string();
  std::string vj = "{\"ver\":";
  js_quote_to(ver, vj);
  vj += "}\n";
  if (!write_file(dir / "version.json", vj))
    return "cannot write " + (dir / "version.json").string();
  // The site's own files, for a static web server in front of the same folder.
  for (const char *f : kSiteFiles)
    if (!fs::exists(dir / f) && !write_file(dir / f, *builtin_site_file(f)))
      return std::string("cannot write ") + f;
  return "";
}

} // namespace vs
