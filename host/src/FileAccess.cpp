// The files a module reads and writes through the simulator: scenario blocks, class files,
// files it opens itself, and the log.
#include "World.h"

#include <cstring>

namespace host {
namespace detail {

void writeLine(FILEHANDLE fh, const std::string& line) {
    ScnFile* f = static_cast<ScnFile*>(fh);
    if (!f || !f->writing) return;
    if (f->out) {
        f->out->push_back(line);
    } else if (f->file) {
        std::fwrite(line.data(), 1, line.size(), f->file);
        std::fputc('\n', f->file);
    }
}

void noticeCut(const ScnFile& f, const std::string& raw, const std::string& kept) {
    if (!f.scenario || !f.in || kept.empty() || raw.find(';') == std::string::npos) return;
    world().scenario.notices.push_back(
        {f.in->lineNumber(),
         "the simulator cuts this line at ';' (a comment): the vessel reads only '" +
             kept.substr(0, 60) + (kept.size() > 60 ? "...'" : "'")});
}

void readDefaultState(VESSEL& iface, ScnFile& f, void* status) {
    // The simulator's own reader takes lines of up to 255 characters; a longer one fails the
    // stream, and with it the rest of the list of ships.
    if (!f.in) return;
    std::string raw;
    while (f.in->getline(256, raw)) {
        const std::string line = trimLine(raw);
        noticeCut(f, raw, line);
        if (equalsNoCase(line, "END")) return;
        std::vector<char> buf(line.begin(), line.end());
        buf.push_back('\0');
        iface.ParseScenarioLineEx(buf.data(), status);
    }
    if (f.scenario && f.in->failed)
        world().scenario.notices.push_back(
            {f.in->lineNumber() + 1,
             "a line of 256 characters or more in a block the simulator "
             "reads itself: its reader fails here and the list of ships ends"});
}

}  // namespace detail
}  // namespace host

using namespace host;
using namespace host::detail;

bool oapiReadScenario_nextline(FILEHANDLE scn, char*& line) {
    ScnFile* f = static_cast<ScnFile*>(scn);
    if (!f || f->writing || !f->in) return false;
    std::string raw;
    if (!f->in->readline(raw)) return false;
    const std::string l = trimLine(raw);
    noticeCut(*f, raw, l);
    f->buffer.assign(l.begin(), l.end());
    f->buffer.push_back('\0');
    line = f->buffer.data();
    return !equalsNoCase(l, "END");
}

// A stream given a null C string would stop the simulator.
static const char* text(const char* s, const char* what) {
    if (s) return s;
    stopHere("", 0, std::string(what) + " was given a null string");
    return "";
}

void oapiWriteScenario_string(FILEHANDLE scn, char* item, char* string) {
    const char* key = text(item, "oapiWriteScenario_string");
    const char* value = text(string, "oapiWriteScenario_string");
    std::string l;
    l.reserve(4 + std::strlen(key) + std::strlen(value));
    l += "  ";
    l += key;
    l += ' ';
    l += value;
    writeLine(scn, l);
}
void oapiWriteScenario_int(FILEHANDLE scn, char* item, int i) {
    writeLine(scn,
              std::string("  ") + text(item, "oapiWriteScenario_int") + " " + std::to_string(i));
}
void oapiWriteScenario_float(FILEHANDLE scn, char* item, double d) {
    writeLine(scn,
              std::string("  ") + text(item, "oapiWriteScenario_float") + " " + trimmedFixed(d, 6));
}
void oapiWriteScenario_vec(FILEHANDLE scn, char* item, const VECTOR3& v) {
    writeLine(scn, std::string("  ") + text(item, "oapiWriteScenario_vec") + " " +
                       trimmedFixed(v.x, 6) + " " + trimmedFixed(v.y, 6) + " " +
                       trimmedFixed(v.z, 6));
}
void oapiWriteLine(FILEHANDLE file, char* line) { writeLine(file, text(line, "oapiWriteLine")); }

FILEHANDLE oapiOpenFile(const char* fname, FileAccessMode mode, PathRoot root) {
    const std::string name = text(fname, "oapiOpenFile");
    std::string rel;
    switch (root) {
        case CONFIG:
            rel = "Config/" + name;
            break;
        case SCENARIOS:
            rel = name.size() > 1 && name[1] == ':' ? name : "Scenarios/" + name + ".scn";
            break;
        case TEXTURES:
            rel = "Textures/" + name + ".dds";
            break;
        case TEXTURES2:
            rel = "Textures2/" + name + ".dds";
            break;
        case MESHES:
            rel = "Meshes/" + name + ".msh";
            break;
        default:
            rel = name;
            break;  // ROOT and MODULES: the name as given
    }
    for (char& c : rel)
        if (c == '\\') c = '/';
    auto f = std::make_unique<ScnFile>();
    if (mode == FILE_IN || mode == FILE_IN_ZEROONFAIL) {
        // The simulator's file system ignores case, so the root's files are found as it would.
        const std::string found = findFileNoCase(rel);
        const bool ok = !found.empty() && readLines(found, f->own.lines);
        if (!ok) {
            if (mode == FILE_IN_ZEROONFAIL) return nullptr;
            f->own.lines.clear();  // a stream that reads nothing
        }
        f->own.path = ok ? found : rel;
        f->in = &f->own;
    } else {
        // Written as it goes, the file made (or emptied) at once, as a stream opened for output.
        f->writing = true;
        f->file = std::fopen(rel.c_str(), mode == FILE_APP ? "ab" : "wb");
    }
    world().openFiles.insert(f.get());
    return f.release();
}

void oapiCloseFile(FILEHANDLE file, FileAccessMode) {
    if (!file) return;
    ScnFile* f = static_cast<ScnFile*>(file);
    // The simulator deletes what it is given: a file it did not open, or one closed before.
    if (world().openFiles.erase(f) == 0) {
        stopHere("", 0,
                 "oapiCloseFile was given a file oapiOpenFile did not open, or closed before");
        return;
    }
    if (f->file) std::fclose(f->file);
    delete f;
}

void oapiWriteLog(char* line) { world().records.log.push_back(text(line, "oapiWriteLog")); }
