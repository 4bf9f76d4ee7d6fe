//===- RegCommand.cpp - "ktu reg get|set|list|delete" ---------------------===//
//
// Inspects and edits a settings hive from the shell. Keys are paths from the
// hive's top with "\" between names; the user hive is used unless --machine
// is given, and --hive FILE names the hive's file for this run.
//
//===----------------------------------------------------------------------===//
#include "Commands.h"

#include <ktutil/KtURegistry.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUSysRegistry.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace ktu::tool {

namespace {

const char kUsage[] = "usage: ktu reg get KEY NAME\n"
                      "       ktu reg set KEY NAME dword|qword|sz VALUE\n"
                      "       ktu reg list KEY\n"
                      "       ktu reg delete KEY [NAME]\n"
                      "options:\n"
                      "  --machine    the local-machine hive instead of the user's\n"
                      "  --hive FILE  the hive's file for this run\n";

std::u16string Wide(const char* text) {
    KtUWideStringBuffer w;
    w.SetFromUTF8String(text);
    return w.GetString() ? std::u16string(w.GetString()) : std::u16string();
}

std::string Utf8(const KtUWChar* text) {
    KtUStringBuffer out;
    KtUWideStringBuffer(text ? text : u"").ExtractUTF8String(&out);
    return out.GetString() ? out.GetString() : "";
}

// "TYPE VALUE" for a value of key; false when it does not exist.
bool Describe(KtURegKey top, const std::u16string& key, const std::u16string& name,
              std::string* out) {
    KtURegKey open = nullptr;
    if (!KtUSysRegistry::OpenKey(top, key.c_str(), 0, KtUSysRegistry::eKEY_READ, &open))
        return false;
    unsigned int type = 0, size = 0;
    std::vector<unsigned char> data;
    bool ok = KtUSysRegistry::QueryValue(open, name.c_str(), &type, nullptr, &size);
    if (ok) {
        data.resize(size);
        ok = KtUSysRegistry::QueryValue(open, name.c_str(), &type, data.data(), &size);
    }
    KtUSysRegistry::CloseKey(open);
    if (!ok) return false;
    char number[32];
    if (type == KtUSysRegistry::eREG_DWORD && size == 4) {
        int v;
        std::memcpy(&v, data.data(), 4);
        std::snprintf(number, sizeof number, "%d", v);
        *out = std::string("dword ") + number;
    } else if (type == KtUSysRegistry::eREG_QWORD && size == 8) {
        long long v;
        std::memcpy(&v, data.data(), 8);
        std::snprintf(number, sizeof number, "%lld", v);
        *out = std::string("qword ") + number;
    } else if (type == KtUSysRegistry::eREG_SZ) {
        std::u16string text(size / 2, u'\0');
        std::memcpy(text.data(), data.data(), text.size() * 2);
        *out = "sz " + Utf8(text.c_str());
    } else {
        std::snprintf(number, sizeof number, "type%u", type);
        *out = number;
        for (unsigned char b : data) {
            std::snprintf(number, sizeof number, " %02x", b);
            *out += number;
        }
    }
    return true;
}

int Get(KtURegKey top, char** args, int n) {
    if (n != 2) return std::fputs(kUsage, stderr), kExitUsage;
    std::string text;
    if (!Describe(top, Wide(args[0]), Wide(args[1]), &text)) {
        std::fprintf(stderr, "ktu reg: no value '%s' in '%s'\n", args[1], args[0]);
        return kExitFailure;
    }
    std::printf("%s\n", text.c_str());
    return kExitOk;
}

int Set(KtURegKey top, char** args, int n) {
    if (n != 4) return std::fputs(kUsage, stderr), kExitUsage;
    std::u16string key = Wide(args[0]), name = Wide(args[1]);
    const char* type = args[2];
    const char* value = args[3];
    bool ok;
    if (!std::strcmp(type, "sz")) {
        ok = KtURegistry::WriteWideString(top, key.c_str(), name.c_str(), Wide(value).c_str());
    } else if (!std::strcmp(type, "dword") || !std::strcmp(type, "qword")) {
        char* end = nullptr;
        errno = 0;
        long long v = std::strtoll(value, &end, 0);
        bool dword = type[0] == 'd';
        if (errno || !*value || *end || (dword && (v < -2147483648LL || v > 4294967295LL))) {
            std::fprintf(stderr, "ktu reg: '%s' is not a %s\n", value, type);
            return kExitUsage;
        }
        ok = dword ? KtURegistry::WriteLtInt32(top, key.c_str(), name.c_str(),
                                               static_cast<int>(static_cast<unsigned int>(v)))
                   : KtURegistry::WriteLtInt64(top, key.c_str(), name.c_str(), v);
    } else {
        std::fprintf(stderr, "ktu reg: unknown type '%s' (dword, qword or sz)\n", type);
        return kExitUsage;
    }
    if (!ok) {
        std::fprintf(stderr, "ktu reg: cannot write '%s' in '%s'\n", args[1], args[0]);
        return kExitFailure;
    }
    return kExitOk;
}

int List(KtURegKey top, char** args, int n) {
    if (n != 1) return std::fputs(kUsage, stderr), kExitUsage;
    std::u16string key = Wide(args[0]);
    KtUWideStringBuffer name;
    int result = KtURegistry::EnumKey(top, key.c_str(), 0, &name, nullptr, nullptr);
    if (result == KtURegistry::eNO_KEY) {
        std::fprintf(stderr, "ktu reg: no key '%s'\n", args[0]);
        return kExitFailure;
    }
    for (int i = 0; result == KtURegistry::eSUCCESS;
         result = KtURegistry::EnumKey(top, key.c_str(), ++i, &name, nullptr, nullptr))
        std::printf("%s\\\n", Utf8(name.GetString()).c_str());
    unsigned long type = 0;
    for (int i = 0;
         KtURegistry::EnumValue(top, key.c_str(), i, &name, &type) == KtURegistry::eSUCCESS; ++i) {
        std::string text;
        std::u16string value_name = name.GetString() ? name.GetString() : u"";
        if (Describe(top, key, value_name, &text))
            std::printf("%s = %s\n",
                        value_name.empty() ? "(default)" : Utf8(value_name.c_str()).c_str(),
                        text.c_str());
    }
    return kExitOk;
}

int Delete(KtURegKey top, char** args, int n) {
    if (n != 1 && n != 2) return std::fputs(kUsage, stderr), kExitUsage;
    std::u16string key = Wide(args[0]);
    bool ok = n == 2 ? KtURegistry::DeleteValue(top, key.c_str(), Wide(args[1]).c_str())
                     : KtURegistry::DeleteKey(top, key.c_str(), true);
    if (!ok) {
        std::fprintf(stderr, "ktu reg: cannot delete '%s'%s%s\n", n == 2 ? args[1] : args[0],
                     n == 2 ? " in " : "", n == 2 ? args[0] : "");
        return kExitFailure;
    }
    return kExitOk;
}

} // namespace

int RunReg(int argc, char** argv) {
    bool machine = false;
    const char* hive = nullptr;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--machine")) {
            machine = true;
        } else if (!std::strcmp(argv[i], "--hive") && i + 1 < argc) {
            hive = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            std::fprintf(stderr, "ktu reg: unknown option '%s'\n", argv[i]);
            return kExitUsage;
        } else {
            args.push_back(argv[i]);
        }
    }
    if (args.empty()) return std::fputs(kUsage, stderr), kExitUsage;
    const char* sub = args[0];
    int (*run)(KtURegKey, char**, int) = nullptr;
    if (!std::strcmp(sub, "get")) run = Get;
    if (!std::strcmp(sub, "set")) run = Set;
    if (!std::strcmp(sub, "list")) run = List;
    if (!std::strcmp(sub, "delete")) run = Delete;
    if (!run) {
        std::fprintf(stderr, "ktu reg: unknown subcommand '%s'\n%s", sub, kUsage);
        return kExitUsage;
    }
    if (hive) setenv(machine ? "KTU_MACHINE_HIVE" : "KTU_USER_HIVE", hive, 1);
    KtUSysRegistry::Initialise();
    KtURegistry::Initialise();
    int code = run(machine ? KTU_HKEY_LOCAL_MACHINE : KTU_HKEY_CURRENT_USER, args.data() + 1,
                   static_cast<int>(args.size()) - 1);
    KtURegistry::Terminate();
    KtUSysRegistry::Terminate();
    return code;
}

} // namespace ktu::tool
