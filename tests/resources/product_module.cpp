#include "product_module.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

std::string WinePath(const std::string& unix_path) {
    std::string path = "Z:" + unix_path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string ProductFolder() {
    const std::string folder = BIOSUPDATE_PRODUCT_DIR;
    if (folder.empty()) {
        throw std::runtime_error("BIOSUPDATE_PRODUCT_DIR is empty: configure the tests tree with "
                                 "-DBIOSUPDATE_PRODUCT_DIR=<product build folder>");
    }
    return WinePath(folder);
}

std::string ProductExecutable() {
    std::string path = ProductFolder() + "\\BIOSUpdate.exe";
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        throw std::runtime_error(path + " does not exist: build the product tree first");
    }
    return path;
}

std::string ProductCacheValue(const std::string& name) {
    const std::string cache_path = ProductFolder() + "\\CMakeCache.txt";
    std::ifstream cache(cache_path);
    if (!cache) {
        throw std::runtime_error("cannot read " + cache_path);
    }
    const std::string prefix = name + ":";
    for (std::string line; std::getline(cache, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            std::size_t equals = line.find('=');
            if (equals != std::string::npos) {
                return line.substr(equals + 1);
            }
        }
    }
    throw std::runtime_error(cache_path + " holds no " + name);
}

ResourceModule::ResourceModule(const std::string& path)
    : m_module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    if (!m_module) {
        throw std::runtime_error("cannot load " + path + " as a data file");
    }
}

ResourceModule::~ResourceModule() {
    FreeLibrary(m_module);
}

std::optional<Bytes> ResourceModule::Find(LPCSTR type, LPCSTR name, WORD language) const {
    HRSRC info = FindResourceExA(m_module, type, name, language);
    if (!info) {
        return std::nullopt;
    }
    HGLOBAL loaded = LoadResource(m_module, info);
    const auto* data = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
    if (!data) {
        throw std::runtime_error("resource found but not loadable");
    }
    return Bytes(data, data + SizeofResource(m_module, info));
}

namespace {

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) {
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
    if (IS_INTRESOURCE(name)) {
        reinterpret_cast<std::vector<WORD>*>(found)->push_back(
            static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)));
    }
    return TRUE;
}

} // namespace

std::vector<WORD> ResourceModule::Languages(LPCSTR type, LPCSTR name) const {
    std::vector<WORD> languages;
    EnumResourceLanguagesA(m_module, type, name, CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    std::sort(languages.begin(), languages.end());
    return languages;
}

std::vector<WORD> ResourceModule::NumericNames(LPCSTR type) const {
    std::vector<WORD> names;
    EnumResourceNamesA(m_module, type, CollectName, reinterpret_cast<LONG_PTR>(&names));
    std::sort(names.begin(), names.end());
    return names;
}

const ResourceModule& Product() {
    static const ResourceModule product(ProductExecutable());
    return product;
}
