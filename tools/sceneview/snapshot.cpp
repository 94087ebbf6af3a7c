// PNG encoding of the shown frame with libpng into an output file.
#include "tools/sceneview/snapshot.h"

#include <png.h>
#include <sys/stat.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "platform/glide/glide_output.h"
#include "tools/common/outputfile.h"

namespace {

void WriteToOutput(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<toolio::OutputFile*>(png_get_io_ptr(png));
  if (!out->Write(data, length)) png_error(png, "write failed");
}

void FlushNothing(png_structp) {}

// The encoder reports its failures by a jump back here; nothing owned by C++
// lives between the setjmp and the calls that may jump.
bool EncodePng(toolio::OutputFile& out, const std::vector<std::uint8_t>& rgb, int width, int height) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y)
    rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(rgb.data() + static_cast<std::size_t>(y) * width * 3);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, &out, WriteToOutput, FlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool SaveShownFrame(const std::string& path, std::string& error) {
  std::vector<std::uint8_t> rgb;
  int width = 0, height = 0;
  if (!GlideGetShownFrameRgb(rgb, width, height)) {
    error = "no frame has been drawn";
    return false;
  }
  toolio::OutputFile out;
  if (!out.Open(path, error)) return false;
  if (!EncodePng(out, rgb, width, height)) {
    out.Abandon();
    error = "cannot write " + path;
    return false;
  }
  return out.Commit(error);
}

std::string NextScreenshotName() {
  char name[32];
  for (int i = 1; i < 10000; ++i) {
    std::snprintf(name, sizeof name, "sceneview-%04d.png", i);
    struct stat info;
    if (stat(name, &info) != 0) return name;
  }
  return "sceneview.png";
}
