#include "ui/win32/form_font.h"

#include <array>
#include <cstring>

#include "common/system_library_win32.h"
#include "ui/win32/window_layout.h"

namespace win32ui {
namespace {

constexpr char kFormFace[] = "System";
// Tried in order; the last resort is the system's message font.
constexpr std::array<const char*, 3> kFallbackFaces{"Tahoma", "Microsoft Sans Serif", "Arial"};
constexpr wchar_t kLatinProbe[] = L"AZaz09";
constexpr int kLatinProbeLength = static_cast<int>(std::size(kLatinProbe)) - 1;

using GlyphIndicesFn = DWORD(WINAPI*)(HDC, LPCWSTR, int, LPWORD, DWORD);
constexpr DWORD kMarkMissingGlyphs = 0x0001;  // GGI_MARK_NONEXISTING_GLYPHS
constexpr WORD kMissingGlyph = 0xFFFF;

// NONCLIENTMETRICSA as every release since Windows 95 knows it. Vista added
// a last field; a system older than Vista refuses the longer size, and the
// last resort's face would be lost.
constexpr UINT kClassicNonClientMetricsSize = 340;
static_assert(sizeof(NONCLIENTMETRICSA) == kClassicNonClientMetricsSize);

HFONT MakeFont(const char* face, BYTE charset, unsigned dpi) {
  LOGFONTA font{};
  font.lfHeight = -ScaleForDpi(kFontHeight, dpi);  // negative: the character height
  font.lfWeight = FW_BOLD;
  font.lfCharSet = charset;
  font.lfQuality = DEFAULT_QUALITY;
  lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
  return CreateFontIndirectA(&font);
}

// What the system made of the request: its face, and whether it has the
// Latin letters and digits the window's texts are written in. Systems
// without GetGlyphIndicesW (Windows 9x, NT 4.0) cannot tell; their fonts are trusted.
bool Inspect(HFONT font, std::string& face) {
  static const auto glyphIndices =
      win32::SystemFunction<GlyphIndicesFn>("gdi32.dll", "GetGlyphIndicesW");
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return true;
  HGDIOBJ previous = SelectObject(dc, font);
  std::array<char, LF_FACESIZE> name{};
  GetTextFaceA(dc, static_cast<int>(name.size()), name.data());
  face = name.data();
  bool latin = true;
  if (glyphIndices) {
    std::array<WORD, kLatinProbeLength> indices{};
    if (glyphIndices(dc, kLatinProbe, kLatinProbeLength, indices.data(), kMarkMissingGlyphs) !=
        GDI_ERROR) {
      for (WORD index : indices) latin = latin && index != kMissingGlyph;
    }
  }
  SelectObject(dc, previous);
  DeleteDC(dc);
  return latin;
}

}  // namespace

FormFont CreateFormFont(unsigned dpi) {
  FormFont result;
  result.handle = MakeFont(kFormFace, CHINESEBIG5_CHARSET, dpi);
  if (result.handle && Inspect(result.handle, result.face)) return result;
  if (result.handle) DeleteObject(result.handle);

  result.fallback = true;
  for (const char* face : kFallbackFaces) {
    result.handle = MakeFont(face, DEFAULT_CHARSET, dpi);
    if (result.handle && Inspect(result.handle, result.face)) return result;
    if (result.handle) DeleteObject(result.handle);
  }
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = kClassicNonClientMetricsSize;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, kClassicNonClientMetricsSize, &metrics, 0);
  result.handle = MakeFont(metrics.lfMessageFont.lfFaceName, DEFAULT_CHARSET, dpi);
  if (result.handle) Inspect(result.handle, result.face);
  return result;
}

}  // namespace win32ui
