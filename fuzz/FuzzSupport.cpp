#include "FuzzSupport.h"

#include "Factory.h"
#include "ItemLine.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace fuzzsupport {

namespace {

std::string rootDir;
void* messageLib = nullptr;
SendFn sendFn = nullptr;
CheckFn checkFn = nullptr;

bool isItemKey(const std::string& line, std::string& value) {
    const std::size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) return false;
    for (const char* key : {"PAYLOAD ", "STAGE "}) {
        if (line.compare(b, std::strlen(key), key) == 0) {
            value = line.substr(b);
            return true;
        }
    }
    return false;
}

}  // namespace

void fail(const std::string& what) {
    std::fputs("FAULT: ", stderr);
    std::fwrite(what.data(), 1, what.size(), stderr);
    std::fputs("\n", stderr);
    std::fflush(stderr);
    std::abort();
}

const std::string& root() {
    if (!rootDir.empty()) return rootDir;
    const fs::path dir =
        fs::temp_directory_path() / ("aerobell-fuzz-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::copy(AEROBELL_SOURCE_TESTWORLD, dir, fs::copy_options::recursive);
    fs::copy(AEROBELL_SOURCE_ADDON, dir, fs::copy_options::recursive);
    fs::create_directories(dir / "Modules");
    fs::copy_file(FUZZ_MESSAGE_MODULE, dir / "Modules" / "cvelmessage.so",
                  fs::copy_options::overwrite_existing);
    rootDir = dir.string();
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(rootDir, ec);
    });
    host::setRoot(rootDir);
    host::registerModule("Aerobell", CreateAerobellVessel, DestroyAerobellVessel);
    messageLib = dlopen((dir / "Modules" / "cvelmessage.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (messageLib == nullptr) fail(std::string("message module: ") + dlerror());
    sendFn = reinterpret_cast<SendFn>(dlsym(messageLib, "SendCMessage"));
    checkFn = reinterpret_cast<CheckFn>(dlsym(messageLib, "CheckCMessage"));
    if (sendFn == nullptr || checkFn == nullptr) fail("message module lacks its functions");
    return rootDir;
}

SendFn sendMessage() {
    root();
    return sendFn;
}

CheckFn checkMessage() {
    root();
    return checkFn;
}

void resetWorld() {
    root();
    static char key[256], text[2048];
    for (host::Vessel* v : host::vessels()) {
        if (v->iface == nullptr) continue;
        while (checkFn(v->iface, key, text) != -1) {
        }
    }
    host::reset();
}

COMMON_VESSEL_EX* framework(OBJHANDLE h) {
    const host::Vessel& v = host::vessel(h);
    // Only the cone module is registered in-process; the objects it makes are AEROBELL, a
    // framework vessel.
    if (v.iface == nullptr || !v.moduleMade) return nullptr;
    return static_cast<COMMON_VESSEL_EX*>(static_cast<VESSEL3*>(v.iface));
}

std::string savedLinesFault(const std::vector<std::string>& block) {
    for (const std::string& line : block) {
        std::string value;
        if (!isItemKey(line, value)) continue;
        if (value.size() > static_cast<std::size_t>(COMMON_VESSEL_EX::kItemLineMax)) {
            return "an item line of " + std::to_string(value.size()) + " characters was written";
        }
        const ItemLineParse p = parseItemLine(value.c_str());
        // What is written must never be cut.
        if (p.lineCut || p.cutWords != 0 || p.badNumbers != 0) {
            return "a written item line is cut: " + value;
        }
    }
    return "";
}

bool hasEmptyWords(const COMMON_VESSEL_EX& v) {
    for (int i = 0; i < COMMON_VESSEL_EX::kItemCount; ++i) {
        const StageSlot& s = v.Item(i);
        if (s.present && s.name[0] == '\0') return true;
    }
    return false;
}

void checkWorld() {
    for (host::Vessel* v : host::vessels()) {
        const COMMON_VESSEL_EX* f = framework(v);
        if (f == nullptr) continue;
        const std::string fault = itemTableFault(*f);
        if (!fault.empty()) fail(v->name + ": " + fault);
    }
}

void writeFile(const std::string& relative, const uint8_t* data, size_t size) {
    const fs::path p = fs::path(root()) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace fuzzsupport
