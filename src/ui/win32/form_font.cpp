#include "ui/win32/form_font.h"

#include <array>
#include <cstring>

#include "ui/win32/window_layout.h"

namespace win32ui {
namespace {

constexpr char kFormFace[] = "System";
// Tried in order; the last resort is the system's message font.
constexpr std::array<const char*, 3> kFallbackFaces{"Tahoma", "Microsoft Sans Serif", "Arial"};
constexpr wchar_t kLatinProbe[] = L"AZaz09";
constexpr int kLatinProbeLength = static_cast<int>(std::size(kLatinProbe)) - 1;

using GlyphIndicesFn = DWORD(WINAPI*)(HDC, LPCWSTR, int, LPWORD, DWORD);

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
// without GetGlyphIndicesW (Windows 9x) cannot tell; their fonts are trusted.
bool Inspect(HFONT font, std::string& face) {
  static const auto glyphIndices = reinterpret_cast<GlyphIndicesFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("gdi32.dll"), "GetGlyphIndicesW")));
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return true;
  HGDIOBJ previous = SelectObject(dc, font);
  std::array<char, LF_FACESIZE> name{};
  GetTextFaceA(dc, static_cast<int>(name.size()), name.data());
  face = name.data();
  bool latin = true;
  if (glyphIndices) {
    std::array<WORD, kLatinProbeLength> indices{};
    if (glyphIndices(dc, kLatinProbe, kLatinProbeLength, indices.data(),
                     GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR) {
      for (WORD index : indices) latin = latin && index != 0xFFFF;
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
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  result.handle = MakeFont(metrics.lfMessageFont.lfFaceName, DEFAULT_CHARSET, dpi);
  if (result.handle) Inspect(result.handle, result.face);
  return result;
}

}  // namespace win32ui
