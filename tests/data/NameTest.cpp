//===- NameTest.cpp - Names, interning, name dictionaries, name streams ---===//
#include <ktutil/KtUAutoRefPtr.h>
#include <ktutil/KtUName.h>
#include <ktutil/KtUNameDict.h>
#include <ktutil/KtUNameReader.h>
#include <ktutil/KtUNameVoidPtrDict.h>
#include <ktutil/KtURefPtrVector.h>
#include <ktutil/KtUStringBuffer.h>
#include <ktutil/KtUWideStringBuffer.h>

#include <gtest/gtest.h>

#include "../stream/StreamTestUtil.h"
#include "memory/mem_switches.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using Ref = KtUAutoRefPtr<KtUName>;
using ktu::test::Reader;

std::u16string User(const KtUName* name) {
    const KtUWChar* s = name->GetUserName().GetString();
    return s ? std::u16string(s) : u"<null>";
}

/// Keeps the localised strings' registry hives and folders in a scratch
/// directory, and the name component initialised around each test.
class NameTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ktu-name-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        setenv("KTU_USER_HIVE", (m_dir + "/user.hive").c_str(), 1);
        setenv("KTU_MACHINE_HIVE", (m_dir + "/machine.hive").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_dir + "/home-data").c_str(), 1);
        setenv("KTU_MACHINE_DATA_DIR", (m_dir + "/machine-data").c_str(), 1);
        KtUName::Initialise();
        KtUStream::Initialise();
    }
    void TearDown() override {
        KtUStream::Terminate();
        KtUName::Terminate();
        std::filesystem::remove_all(m_dir);
    }
    std::string m_dir;
};

TEST_F(NameTest, EnumerationNamesDecodeOnlyBaseColonDigits) {
    int value = -1;
    KtUStringBuffer base;
    EXPECT_EQ(KtUName::DecodeEnumName("Colour:3", &value, &base), 1);
    EXPECT_EQ(value, 3);
    EXPECT_STREQ(base.GetString(), "Colour");
    EXPECT_EQ(KtUName::DecodeEnumName("a:b:12", &value, &base), 1);
    EXPECT_EQ(value, 12);
    EXPECT_STREQ(base.GetString(), "a:b");
    for (const char* bad : {":3", "Colour:", "Colour:3a", "3", "", "Colour3", "Colour:-3"})
        EXPECT_EQ(KtUName::DecodeEnumName(bad, &value, nullptr), 0) << bad;
    EXPECT_EQ(KtUName::DecodeEnumName(static_cast<const char*>(nullptr), &value, nullptr), 0);

    Ref made(KtUName::MakeEnumName("Size", 42));
    EXPECT_STREQ(made->GetName().GetString(), "Size:42");
    EXPECT_EQ(made->GetInt(), 42);
    made->ExtractBaseName(&base);
    EXPECT_STREQ(base.GetString(), "Size");
    Ref plain(new KtUName("Colour:3a", u"x"));
    EXPECT_EQ(plain->GetInt(), 0);
    plain->ExtractBaseName(&base);
    EXPECT_STREQ(base.GetString(), "Colour:3a");
}

TEST_F(NameTest, UserNamesComeFromOverridesThenCallerThenInternalName) {
    Ref derived(new KtUName("Abc", nullptr));
    EXPECT_EQ(User(derived.Get()), u"Abc");
    Ref given(new KtUName(u"Shown", "Plain"));
    EXPECT_EQ(User(given.Get()), u"Shown");

    KtUName::AddOverride("KtOaNode", u"Knoten");
    Ref node(new KtUName("KtOaNode", u"Node"));
    EXPECT_EQ(User(node.Get()), u"Knoten");
    node->SetUserName(u"Other");
    EXPECT_EQ(User(node.Get()), u"Knoten");
    given->SetName("KtOaNode");
    EXPECT_EQ(User(given.Get()), u"Knoten");
    Ref enum_name(new KtUName(2, "KtOaNode", nullptr));
    EXPECT_STREQ(enum_name->GetName().GetString(), "KtOaNode:2");

    // An override added later shows only once reapplied.
    Ref later(new KtUName("Later", u"Before"));
    KtUName::AddOverride("Later", u"After");
    EXPECT_EQ(User(later.Get()), u"Before");
    later->ReapplyOverride();
    EXPECT_EQ(User(later.Get()), u"After");

    KtUWideStringBuffer out;
    EXPECT_NE(KtUName::GetOverride("Later", &out), 0);
    EXPECT_EQ(std::u16string(out.GetString()), u"After");
    EXPECT_EQ(KtUName::GetOverride("None", &out), 0);
    EXPECT_EQ(std::u16string(KtUName::GetOverride("None", u"fb")), u"fb");
}

TEST_F(NameTest, EqualityAndHashCodeCoverBothStrings) {
    const unsigned char zeros[2] = {0, 0};
    KtUName* empty = static_cast<KtUName*>(KtUName::CreateStub(nullptr, 0));
    EXPECT_EQ(empty->GetRefCount(), 1);
    EXPECT_EQ(empty->CalcHashCode(), adler32(1, zeros, 2));

    Ref ab(new KtUName("ab", u"\u00fc"));
    const unsigned char bytes[] = {0xfc, 0x00, 'a', 'b'};
    EXPECT_EQ(ab->CalcHashCode(), adler32(1, bytes, sizeof bytes));

    Ref same(new KtUName("ab", u"\u00fc"));
    Ref other_user(new KtUName("ab", u"u"));
    Ref empty_user(new KtUName("ab", u""));
    EXPECT_TRUE(*ab == *same);
    EXPECT_TRUE(*ab != *other_user);
    EXPECT_FALSE(*empty == *empty_user);
    KtUName::DisposeStub(nullptr, 0, empty);
}

TEST_F(NameTest, DictionaryInternsEqualNamesOnce) {
    KtUNameDict dict;
    KtUName* a = dict.Find(u"Node", "KtOaThing");
    EXPECT_EQ(dict.Find(u"Node", "KtOaThing"), a);
    EXPECT_EQ(a->GetRefCount(), 1);
    KtUName* b = dict.Find(u"Thing", "KtOaThing");
    EXPECT_NE(b, a);
    // No user name: the internal name, as the constructor would give.
    EXPECT_EQ(dict.Find(static_cast<const KtUWChar*>(nullptr), "Abc"), dict.Find(u"Abc", "Abc"));
    KtUName::AddOverride("KtOaLocal", u"Lokal");
    KtUName* local = dict.Find(u"Local", "KtOaLocal");
    EXPECT_EQ(User(local), u"Lokal");
    EXPECT_EQ(dict.Find(u"Anything", "KtOaLocal"), local);
    EXPECT_EQ(dict.Find(KtUWideStringBuffer(u"Node"), "KtOaThing"), a);
    EXPECT_EQ(dict.Size(), 4);

    KtUName* loose = KtUNameDict::Find(u"Node", "KtOaThing", nullptr);
    EXPECT_NE(loose, a);
    EXPECT_EQ(loose->GetRefCount(), 0);
    EXPECT_TRUE(*loose == *a);
    loose->Unref();

    Ref keep(a);
    {
        KtUNameDict copy(dict);
        EXPECT_EQ(a->GetRefCount(), 3);
        EXPECT_EQ(copy.Find(u"Node", "KtOaThing"), a);
    }
    EXPECT_EQ(a->GetRefCount(), 2);
    dict.Clear();
    EXPECT_EQ(a->GetRefCount(), 1);
    EXPECT_NE(dict.Find(u"Node", "KtOaThing"), a);
}

void* Value(int i) {
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(i + 1));
}

TEST_F(NameTest, NameKeyedDictionaryHoldsOneReferencePerKey) {
    Ref k(new KtUName("Key", u"K"));
    Ref twin(new KtUName("Key", u"K"));
    int v1 = 0, v2 = 0;
    KtUNameVoidPtrDict d;
    EXPECT_EQ(d.Enter(k.Get(), &v1), 1);
    EXPECT_EQ(k->GetRefCount(), 2);
    EXPECT_EQ(d.Enter(twin.Get(), &v2), 0); // equal by value: replaces the value
    EXPECT_EQ(twin->GetRefCount(), 1);
    void* found = nullptr;
    EXPECT_EQ(d.Find(twin.Get(), &found), 1);
    EXPECT_EQ(found, &v2);

    KtUNameVoidPtrDict copy(d), assigned;
    assigned = d;
    EXPECT_EQ(k->GetRefCount(), 4);
    copy.Swap(assigned);
    EXPECT_EQ(k->GetRefCount(), 4);
    EXPECT_EQ(copy.Remove(twin.Get()), 1); // releases the stored key, k
    EXPECT_EQ(k->GetRefCount(), 3);
    EXPECT_EQ(twin->GetRefCount(), 1);
    EXPECT_EQ(copy.Remove(twin.Get()), 0);
    assigned.RemoveAll();
    EXPECT_TRUE(assigned.IsEmpty());
    EXPECT_FALSE(assigned.Begin().IsValid());
    EXPECT_EQ(k->GetRefCount(), 2);
    KtUNameVoidPtrDict& self = d;
    d = self;
    EXPECT_EQ(k->GetRefCount(), 2);

    // Many keys through growth, removal from probe runs, and iteration.
    std::vector<Ref> keys;
    for (int i = 0; i < 2000; ++i) {
        keys.emplace_back(KtUName::MakeEnumName("N", i));
        EXPECT_EQ(d.Enter(keys.back().Get(), Value(i)), 1);
    }
    for (int i = 0; i < 2000; i += 3)
        EXPECT_EQ(d.Remove(keys[i].Get()), 1);
    EXPECT_EQ(d.Size(), 1 + 2000 - 667);
    for (int i = 0; i < 2000; ++i) {
        found = nullptr;
        EXPECT_EQ(d.Find(keys[i].Get(), &found), i % 3 != 0) << i;
        if (i % 3) {
            EXPECT_EQ(found, Value(i));
        }
    }
    int seen = 0;
    for (KtUNameVoidPtrDictIt it = d.Begin(); it.IsValid(); it.Next()) {
        ++seen;
        EXPECT_EQ(it.GetKey()->GetRefCount(), 2);
    }
    EXPECT_EQ(seen, d.Size());
}

TEST_F(NameTest, RefPtrVectorCountsNames) {
    Ref name(new KtUName("V", u"v"));
    {
        KtURefPtrVector<KtUName> v;
        v.PushBack(name.Get());
        v.PushBack(name.Get());
        EXPECT_EQ(name->GetRefCount(), 3);
    }
    EXPECT_EQ(name->GetRefCount(), 1);
}

TEST_F(NameTest, StandardNames) {
    EXPECT_STREQ(KtUName::StandardInternalName(KtUName::eSceneBaseUserName),
                 "KtOaSceneBaseUserName");
    EXPECT_STREQ(KtUName::StandardInternalName(KtUName::eNodeGuid), "KtOaNodeGuid");
    EXPECT_EQ(KtUName::StandardInternalName(KtUName::eNumStandardNames), nullptr);
    EXPECT_EQ(KtUName::StandardInternalName(static_cast<KtUName::StandardNameEnum>(-1)), nullptr);

    KtUWideStringBuffer out(u"stale");
    KtUName::StandardUserName(KtUName::eMaterial, &out);
    EXPECT_EQ(out.GetLength(), 0);
    KtUName::AddOverride("KtOaMaterial", u"Werkstoff");
    KtUName::StandardUserName(KtUName::eMaterial, &out);
    EXPECT_EQ(std::u16string(out.GetString()), u"Werkstoff");

    KtUNameDict dict;
    KtUName* unit = KtUName::StandardName(KtUName::eUnit, &dict);
    EXPECT_EQ(User(unit), u"KtOaUnit");
    EXPECT_EQ(dict.Find(u"KtOaUnit", "KtOaUnit"), unit);
    EXPECT_EQ(KtUName::StandardName(KtUName::eNumStandardNames, &dict), nullptr);
}

// The test's stand-in for a host's name table: the strings, written plainly.
void WriteName(KtUWriteStream* out, const KtUName* name) {
    out->WriteString(name->GetName());
    out->WriteWideString(name->GetUserName());
}
KtUName* ReadName(KtUReadStream* in) {
    KtUStringBuffer internal;
    KtUWideStringBuffer user;
    if (!in->ReadString(&internal) || !in->ReadWideString(&user)) return nullptr;
    return new KtUName(internal.GetString(), user.GetString());
}

TEST_F(NameTest, StreamsNeedTheHostsCallbacks) {
    Ref name(new KtUName("KtOaStreamed", u"Streamed"));
    std::string bytes = ktu::test::Write({}, [&](KtUWriteStream& out) {
        out.WriteInt32(1);
        name->Write(&out);
        EXPECT_EQ(out.GetError(), KtUStream::ePARSE_ERROR);
        out.SetError(KtUStream::eNO_ERROR);
    });
    {
        Reader r(bytes);
        ASSERT_TRUE(r.in.Begin(1, 0));
        EXPECT_EQ(KtUName::Read(&r.in), nullptr);
        EXPECT_EQ(r.in.GetError(), KtUStream::ePARSE_ERROR);
    }

    KtUName::SetReadWriteCallbacks(WriteName, ReadName);
    bytes = ktu::test::Write({}, [&](KtUWriteStream& out) { out << *name << *name << *name; });
    KtUNameDict dict;
    KtUName* target = nullptr;
    {
        Reader r(bytes);
        ASSERT_TRUE(r.in.Begin(1, 0));
        r.in >> KtUNameReader(target, &dict, true);
        ASSERT_NE(target, nullptr);
        EXPECT_EQ(target, dict.Find(u"Streamed", "KtOaStreamed"));
        EXPECT_EQ(target->GetRefCount(), 2);
        KtUName* first = target;
        r.in >> KtUNameReader(target, &dict, true); // the same interned name again
        EXPECT_EQ(target, first);
        EXPECT_EQ(target->GetRefCount(), 2);
        KtUName* loose = nullptr;
        r.in >> KtUNameReader(loose, nullptr, true);
        ASSERT_NE(loose, nullptr);
        EXPECT_NE(loose, first);
        EXPECT_EQ(loose->GetRefCount(), 1);
        loose->Unref();
        EXPECT_TRUE(r.in.End(1));
    }
    target->Unref();

    // Terminate clears the callbacks.
    KtUName::Terminate();
    KtUName::Initialise();
    Reader r(bytes);
    ASSERT_TRUE(r.in.Begin(1, 0));
    target = dict.Find(u"Streamed", "KtOaStreamed");
    target->Ref();
    r.in >> KtUNameReader(target, &dict, true);
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(r.in.GetError(), KtUStream::ePARSE_ERROR);
    EXPECT_EQ(dict.Find(u"Streamed", "KtOaStreamed")->GetRefCount(), 1);
}

TEST_F(NameTest, ObjectStubsCarryBothStrings) {
    Ref name(new KtUName("KtOaObj", u"Obj"));
    std::string bytes = ktu::test::Write(
        {}, [&](KtUWriteStream& out) { EXPECT_EQ(KtUName::WriteStub(&out, 0, name.Get()), 1); });
    Reader r(bytes);
    ASSERT_TRUE(r.in.Begin(1, 0));
    auto* read = static_cast<KtUName*>(KtUName::CreateStub(&r.in, 0));
    EXPECT_EQ(KtUName::ReadStub(&r.in, 0, read), 1);
    EXPECT_TRUE(*read == *name);
    EXPECT_EQ(read->GetRefCount(), 1);
    EXPECT_EQ(KtUName::DisposeStub(&r.in, 0, read), 1);
}

// A table that cannot grow refuses the new key and takes no reference.
TEST_F(NameTest, NameKeyedDictionaryRefusesKeysWhenMemoryRunsOut) {
    KtUAutoRefPtr<KtUName> key(new KtUName("k", u"K"));
    KtUNameVoidPtrDict d;
    ktu::mem::FailAllocationAfter(1);
    EXPECT_EQ(d.Enter(key.Get(), nullptr), 0);
    ktu::mem::FailAllocationAfter(0);
    EXPECT_TRUE(d.IsEmpty());
    EXPECT_EQ(key->GetRefCount(), 1);
    EXPECT_EQ(d.Enter(key.Get(), nullptr), 1); // memory back: stored
    EXPECT_EQ(key->GetRefCount(), 2);
}

} // namespace
