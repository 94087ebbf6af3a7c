// PCX and BMP decoding into textures and 8-bit pictures, and texture upload.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "gfx/device.h"
#include "gfx/texture.h"
#include "stream/archive.h"
#include "stream/filelib.h"

std::uint8_t picturePalette[768];
std::int32_t pictureWidth = 0;
std::int32_t pictureHeight = 0;

namespace {

constexpr int pcxHeaderSize = 128;
constexpr int lineBufferSize = 1024;

std::int16_t Signed16(const std::uint8_t* p) {
  return static_cast<std::int16_t>(p[0] | p[1] << 8);
}
std::uint16_t Unsigned16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::int32_t Signed32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                   static_cast<std::uint32_t>(p[2]) << 16 |
                                   static_cast<std::uint32_t>(p[3]) << 24);
}

struct PcxHeader {
  int manufacturer, version, encoding, bitsPerPixel, planes, bytesPerLine;
  int width, height;
};

PcxHeader DecodePcxHeader(const std::uint8_t* h) {
  PcxHeader p;
  p.manufacturer = h[0];
  p.version = h[1];
  p.encoding = h[2];
  p.bitsPerPixel = h[3];
  p.width = Signed16(h + 8) - Signed16(h + 4) + 1;   // x max - x min + 1
  p.height = Signed16(h + 10) - Signed16(h + 6) + 1;  // y max - y min + 1
  p.planes = h[65];
  p.bytesPerLine = Unsigned16(h + 66);
  return p;
}

// Run-length line decoder. The buffer and its fill persist across the lines of one
// picture, so a run crossing the end of a line continues the next.
class LineDecoder {
public:
  LineDecoder(TStream* input, int length) : stream(input), lineLength(length) {}

  // Decodes one line into the buffer's first lineLength bytes; false on a read
  // error, at the end of the data, or for a run that would pass the buffer's end.
  bool Next() {
    if (started) {
      // The bytes past the line move to the front.
      std::memmove(buffer, buffer + lineLength, static_cast<std::size_t>(lineBufferSize - lineLength));
      fill -= lineLength;
    }
    started = true;
    while (fill < lineLength) {
      if (stream->Eof()) return false;  // truncated image data
      const std::uint8_t b = stream->ReadByte();
      if (stream->Error()) return false;
      if (b < 0xC0) {
        buffer[fill++] = b;
      } else {
        const int n = b & 0x3F;
        const std::uint8_t value = stream->ReadByte();
        if (fill + n > lineBufferSize) return false;  // would overrun the line buffer
        std::memset(buffer + fill, value, static_cast<std::size_t>(n));
        fill += n;
      }
    }
    return true;
  }

  const std::uint8_t* Line() const { return buffer; }

private:
  TStream* stream;
  int lineLength;
  int fill = 0;
  bool started = false;
  std::uint8_t buffer[lineBufferSize] = {};
};

std::uint16_t Rgb565FromPalette(const std::uint8_t* entry) {
  return static_cast<std::uint16_t>((entry[0] >> 1) << 11 | entry[1] << 5 | (entry[2] >> 1));
}

// A stream over an archive member, buffered when capacity is not 0.
std::unique_ptr<TStream> OpenMember(const char* name, std::uint32_t capacity) {
  std::unique_ptr<TStream> stream;
  if (capacity) stream = std::make_unique<TBufferedStream>(new TFileInLib(archive), capacity);
  else stream = std::make_unique<TFileInLib>(archive);
  stream->SetName(name);
  if (!stream->Open(modeRead) || stream->Error()) return nullptr;
  return stream;
}

}  // namespace

int Log2Floor(std::int32_t v) {
  int n = -1;
  while (v > 0) {
    v >>= 1;
    ++n;
  }
  return n;
}

int LoadPcxTexture(const char* name, Texture* texture, int mipmap) {
  if (!name || !texture || !archive) return 0;
  std::unique_ptr<TStream> stream = OpenMember(name, 2048);
  if (!stream) return 0;
  std::uint8_t header[pcxHeaderSize];
  if (stream->Read(header, pcxHeaderSize, 1) == 0) return 0;
  const PcxHeader h = DecodePcxHeader(header);
  if (h.manufacturer != 10 || h.encoding != 1) return 0;
  if (h.planes != 1 && h.bitsPerPixel != 8) return 0;
  if (h.version != 5) return 0;

  stream->Seek(-768, seekEnd);
  if (stream->Error()) return 0;
  std::uint8_t palette[768];
  if (stream->Read(palette, 768, 1) != 1) return 0;
  for (std::uint8_t& b : palette) b = static_cast<std::uint8_t>(b >> 2);
  stream->Seek(pcxHeaderSize, seekStart);

  // Sizes the data cannot hold are refused before anything is allocated: a line
  // must fit the line buffer and hold the pixels, and no run expands past 63 bytes.
  const int lineLength = h.bytesPerLine * h.planes;
  if (h.width <= 0 || h.height <= 0 || lineLength > lineBufferSize || h.width > lineLength) return 0;
  if (static_cast<std::int64_t>(lineLength) * h.height > 63LL * stream->Size()) return 0;

  auto* pixels = new (std::nothrow) std::uint16_t[static_cast<std::size_t>(h.width) * h.height];
  if (!pixels) return 0;
  LineDecoder decoder(stream.get(), lineLength);
  std::uint16_t* out = pixels;
  for (int row = 0; row < h.height; ++row) {
    if (!decoder.Next()) {
      delete[] pixels;
      return 0;
    }
    const std::uint8_t* line = decoder.Line();
    for (int x = 0; x < h.width; ++x) *out++ = Rgb565FromPalette(palette + 3 * line[x]);
  }
  texture->pixels = pixels;
  texture->mipmap = mipmap;
  texture->width = h.width;
  texture->height = h.height;
  return 1;
}

int LoadBmpTexture(const char* name, Texture* texture, int mipmap) {
  if (!name || !texture || !archive) return 0;
  std::unique_ptr<TStream> stream = OpenMember(name, 0);
  if (!stream) return 0;
  stream->Seek(2, seekStart);
  if (stream->Error()) return 0;
  std::uint8_t header[28];
  if (stream->Read(header, 28, 1) == 0) return 0;
  const std::uint32_t dataOffset = static_cast<std::uint32_t>(Signed32(header + 8));
  const std::int32_t width = Signed32(header + 16);
  const std::int32_t height = Signed32(header + 20);
  const int bitsPerPixel = Unsigned16(header + 26);
  const int lw = Log2Floor(width), lh = Log2Floor(height);
  if (lw < 0 || lh < 0 || lw > 8 || lh > 8 || width != (1 << lw) || height != (1 << lh)) return 0;
  if (bitsPerPixel != 24) return 0;
  if (dataOffset > 0x7FFFFFFFu) return 0;
  stream->Seek(static_cast<std::int32_t>(dataOffset), seekStart);
  if (stream->Error()) return 0;

  const std::size_t count = static_cast<std::size_t>(width) * height;
  std::unique_ptr<std::uint8_t[]> raw(new (std::nothrow) std::uint8_t[count * 3]);
  if (!raw) return 0;
  if (stream->Read(raw.get(), static_cast<int>(count * 3), 1) == 0) return 0;
  auto* pixels = new (std::nothrow) std::uint16_t[count];
  if (!pixels) return 0;
  // The file's bytes are blue, green, red; rows stay in file order.
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = raw.get() + 3 * i;
    pixels[i] = static_cast<std::uint16_t>((p[2] >> 3) << 11 | (p[1] >> 2) << 5 | (p[0] >> 3));
  }
  texture->pixels = pixels;
  texture->mipmap = mipmap;
  texture->width = width;
  texture->height = height;
  return 1;
}

int LoadPcxPicture(const char* name, std::uint8_t* destination, int x, int y, int pitch,
                   int rowLimit) {
  // A placement before the raster's start would write in front of it.
  if (!name || !destination || !archive || x < 0 || y < 0) return 0;
  std::unique_ptr<TStream> stream = OpenMember(name, 2024);
  if (!stream) return 0;
  std::uint8_t* write = destination + static_cast<std::ptrdiff_t>(y) * pitch + x;
  const int columnRoom = pitch - x;
  const int rowRoom = rowLimit - y;
  std::uint8_t header[pcxHeaderSize];
  if (stream->Read(header, pcxHeaderSize, 1) == 0) return 0;
  const PcxHeader h = DecodePcxHeader(header);
  pictureHeight = h.height;
  pictureWidth = h.width;
  if (h.manufacturer != 10 || h.encoding != 1 || h.planes != 1 || h.bitsPerPixel != 8) return 0;
  // A picture without pixels is a broken header, not an empty success.
  if (pictureWidth <= 0 || pictureHeight <= 0) return 0;
  if (h.version == 5) {
    stream->Seek(-768, seekEnd);
    if (stream->Error()) return 0;
    // Read into a copy so a short read leaves the previous palette whole.
    std::uint8_t palette[768];
    if (stream->Read(palette, 768, 1) != 1) return 0;
    for (int i = 0; i < 768; ++i) picturePalette[i] = static_cast<std::uint8_t>(palette[i] >> 2);
    stream->Seek(pcxHeaderSize, seekStart);
  }
  const int copyWidth = std::min(columnRoom, pictureWidth);
  const int copyHeight = std::min(rowRoom, pictureHeight);
  const int lineLength = h.bytesPerLine * h.planes;
  // Guards against a header that lies: the line must fit the line buffer and hold
  // the bytes copied out of it.
  if (lineLength > lineBufferSize || copyWidth > lineLength) return 0;
  LineDecoder decoder(stream.get(), lineLength);
  for (int row = 0; row < copyHeight; ++row) {
    if (!decoder.Next()) return 0;
    if (copyWidth > 0) std::memcpy(write, decoder.Line(), static_cast<std::size_t>(copyWidth));
    write += pitch;
  }
  return 1;
}

int UploadTexture(Texture* texture) {
  if (!texture) return 0;
  const int lod = std::max(Log2Floor(texture->width), Log2Floor(texture->height));
  if (lod >= 0 && lod <= 8) texture->largeLod = 8 - lod;
  texture->smallLod = texture->mipmap ? 8 : texture->largeLod;
  texture->format = GR_TEXFMT_RGB_565;
  texture->data = texture->pixels;
  // A zero height would divide by zero; it is an unsupported shape like any other.
  const int ratio = texture->height != 0
                        ? static_cast<int>(static_cast<double>(texture->width) / texture->height * 1000.0)
                        : 0;
  switch (ratio) {
    case 125: texture->aspectRatio = GR_ASPECT_1x8; break;
    case 250: texture->aspectRatio = GR_ASPECT_1x4; break;
    case 500: texture->aspectRatio = GR_ASPECT_1x2; break;
    case 1000: texture->aspectRatio = GR_ASPECT_1x1; break;
    case 2000: texture->aspectRatio = GR_ASPECT_2x1; break;
    case 4000: texture->aspectRatio = GR_ASPECT_4x1; break;
    case 8000: texture->aspectRatio = GR_ASPECT_8x1; break;
    default:
      std::printf("nonsupported aspect ratio (%i x %i)\n", texture->width, texture->height);
      return 0;
  }
  if (nextTextureAddress == -1) nextTextureAddress = static_cast<std::int32_t>(grTexMinAddress(GR_TMU0));
  const FxU32 required = grTexTextureMemRequired(GR_MIPMAPLEVELMASK_BOTH, texture->Descriptor());
  // Texture memory ends at the top of texture unit 0; an upload past it fails.
  if (!texture->pixels || lod < 0 || lod > 8 || required == 0 ||
      static_cast<std::uint64_t>(nextTextureAddress) + required > grTexMaxAddress(GR_TMU0))
    return 0;
  texture->startAddress = static_cast<std::uint32_t>(nextTextureAddress);
  texture->memoryRequired = required;
  nextTextureAddress += static_cast<std::int32_t>(required);
  grTexDownloadMipMap(GR_TMU0, texture->startAddress, GR_MIPMAPLEVELMASK_BOTH, texture->Descriptor());
  return 1;
}
