// The record numbers and constants of placeable metafiles (.wmf) that the
// suite's metafile writer puts out and its reader understands.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform::wmf {

inline constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
inline constexpr int kPlaceableHeaderBytes = 22;
inline constexpr int kHeaderWords = 9;

/// Record functions, the number a record's third word holds.
enum Record : std::uint16_t {
    Eof = 0x0000,
    SaveDc = 0x001E,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetRop2 = 0x0104,
    RestoreDc = 0x0127,
    SelectObject = 0x012D,
    SetTextAlign = 0x012E,
    DeleteObject = 0x01F0,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    Polyline = 0x0325,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    TextOut = 0x0521,
    PatBlt = 0x061D,
    StretchDib = 0x0F43,
};

/// Raster operations of the bitmap and pattern records.
inline constexpr std::uint32_t kSrcCopy = 0x00CC0020;
inline constexpr std::uint32_t kSrcAnd = 0x008800C6;
inline constexpr std::uint32_t kSrcPaint = 0x00EE0086;
inline constexpr std::uint32_t kPatCopy = 0x00F00021;

/// The record's name without its prefix ("LINETO"); "?" for one this file does not list.
inline std::string_view recordName(std::uint16_t function)
{
    switch (function) {
    case Eof: return "EOF";
    case SaveDc: return "SAVEDC";
    case SetBkMode: return "SETBKMODE";
    case SetMapMode: return "SETMAPMODE";
    case SetRop2: return "SETROP2";
    case RestoreDc: return "RESTOREDC";
    case SelectObject: return "SELECTOBJECT";
    case SetTextAlign: return "SETTEXTALIGN";
    case DeleteObject: return "DELETEOBJECT";
    case SetBkColor: return "SETBKCOLOR";
    case SetTextColor: return "SETTEXTCOLOR";
    case SetWindowOrg: return "SETWINDOWORG";
    case SetWindowExt: return "SETWINDOWEXT";
    case SetViewportOrg: return "SETVIEWPORTORG";
    case SetViewportExt: return "SETVIEWPORTEXT";
    case LineTo: return "LINETO";
    case MoveTo: return "MOVETO";
    case CreatePenIndirect: return "CREATEPENINDIRECT";
    case CreateFontIndirect: return "CREATEFONTINDIRECT";
    case CreateBrushIndirect: return "CREATEBRUSHINDIRECT";
    case Polyline: return "POLYLINE";
    case IntersectClipRect: return "INTERSECTCLIPRECT";
    case Ellipse: return "ELLIPSE";
    case Rectangle: return "RECTANGLE";
    case SetPixel: return "SETPIXEL";
    case TextOut: return "TEXTOUT";
    case PatBlt: return "PATBLT";
    case StretchDib: return "STRETCHDIB";
    default: return "?";
    }
}

} // namespace platform::wmf
