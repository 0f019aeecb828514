#include "resources/windows/resource_script.h"

#include <cstdint>
#include <cstdio>

#include "resources/program_resources.h"

namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// Paths as the resource compiler reads them: forward slashes, quoted.
std::string QuotePath(const std::string& path) {
  std::string text;
  for (char c : path) text += c == '\\' ? '/' : c;
  return QuoteResourceString(text);
}

// "1.04" -> "1,4,0,0"; empty when it is not two dot-separated numbers.
std::string VersionNumbers(std::string_view version) {
  const std::size_t dot = version.find('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == version.size()) return {};
  unsigned parts[2] = {0, 0};
  const std::string_view pieces[2] = {version.substr(0, dot), version.substr(dot + 1)};
  for (int i = 0; i < 2; ++i) {
    for (char c : pieces[i]) {
      if (c < '0' || c > '9' || parts[i] > 6553) return {};
      parts[i] = parts[i] * 10 + static_cast<unsigned>(c - '0');
    }
  }
  return std::to_string(parts[0]) + "," + std::to_string(parts[1]) + ",0,0";
}

void AppendDialog(std::string& out, const qtr5::DialogTemplate& dialog) {
  char line[160];
  std::snprintf(line, sizeof line, "%d DIALOGEX %d, %d, %d, %d\n", dialog.id, dialog.x, dialog.y,
                dialog.cx, dialog.cy);
  out += line;
  out += "STYLE " + Hex(dialog.style) + "\n";
  if (dialog.exStyle != 0) out += "EXSTYLE " + Hex(dialog.exStyle) + "\n";
  out += "CAPTION " + QuoteResourceString(dialog.title) + "\n";
  out += "FONT " + std::to_string(dialog.fontPointSize) + ", " +
         QuoteResourceString(dialog.fontName) + ", 0, 0, 0x1\n";
  out += "BEGIN\n";
  for (const qtr5::ControlTemplate& control : dialog.controls) {
    std::snprintf(line, sizeof line, ", %d, %s, %s, %d, %d, %d, %d, %s\n", control.id,
                  QuoteResourceString(qtr5::ControlClassName(control.kind)).c_str(),
                  Hex(control.style).c_str(), control.x, control.y, control.cx, control.cy,
                  Hex(control.exStyle).c_str());
    out += "  CONTROL " + QuoteResourceString(control.text) + line;
  }
  out += "END\n\n";
}

}  // namespace

std::string QuoteResourceString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"') {
      out += "\"\"";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte > 0x7E) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", byte);
      out += octal;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string MakeResourceScript(const ResourceFiles& files, std::string_view title,
                               std::string_view version, std::string& problem) {
  const std::string numbers = VersionNumbers(version);
  if (numbers.empty()) {
    problem = "version '" + std::string(version) + "' is not of the form N.N";
    return {};
  }
  std::string out =
      "// Generated from resources/dialog_templates.cpp by make_resource_script; do not edit.\n"
      "LANGUAGE 0x09, 0x01\n\n";
  for (const qtr5::DialogTemplate& dialog : qtr5::AllDialogTemplates()) AppendDialog(out, dialog);

  for (int id : qtr5::AllBitmapIds()) {
    const auto file = files.bitmaps.find(id);
    if (file == files.bitmaps.end()) {
      problem = "no file for bitmap " + std::to_string(id);
      return {};
    }
    out += std::to_string(id) + " BITMAP " + QuotePath(file->second) + "\n";
  }
  for (int id : qtr5::AllIconIds()) {
    const auto file = files.icons.find(id);
    if (file == files.icons.end()) {
      problem = "no file for icon " + std::to_string(id);
      return {};
    }
    out += std::to_string(id) + " ICON " + QuotePath(file->second) + "\n";
  }

  const std::string quotedTitle = QuoteResourceString(title);
  const std::string quotedVersion = QuoteResourceString(version);
  out += "\n1 VERSIONINFO\n";
  out += "FILEVERSION " + numbers + "\nPRODUCTVERSION " + numbers + "\n";
  out += "FILEFLAGSMASK 0x3F\nFILEFLAGS 0x0\nFILEOS 0x40004\nFILETYPE 0x1\nFILESUBTYPE 0x0\n";
  out += "BEGIN\n  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"040904E4\"\n    BEGIN\n";
  out += "      VALUE \"FileDescription\", " + quotedTitle + "\n";
  out += "      VALUE \"FileVersion\", " + quotedVersion + "\n";
  out += "      VALUE \"InternalName\", \"qtr5-download\"\n";
  out += "      VALUE \"OriginalFilename\", \"qtr5-download.exe\"\n";
  out += "      VALUE \"ProductName\", " + quotedTitle + "\n";
  out += "      VALUE \"ProductVersion\", " + quotedVersion + "\n";
  out += "    END\n  END\n  BLOCK \"VarFileInfo\"\n  BEGIN\n";
  out += "    VALUE \"Translation\", 0x409, 1252\n  END\nEND\n";
  return out;
}
