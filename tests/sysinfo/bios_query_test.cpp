// The BIOS version query against stand-in WMI objects, for the failures and values that Wine's own
// WMI cannot be made to produce; the stand-in locator is registered as WMI's class, which COM
// consults first. Wine's real WMI is read by every end-to-end run.
#include "import_patch.h"
#include "ui/update_dlg.h"

#include <gtest/gtest.h>

#include <wbemcli.h>

#include <deque>
#include <string>
#include <vector>

namespace {

enum class Call { None, Create, Connect, Enumerate, Next, Get };

// One behaviour of the stand-in WMI: the call that fails, with its result and whether it still
// hands back its object; the type of the value that Get hands back and the values of the
// instances; and the version the window must be left with.
struct WmiCase {
    const char* name;
    Call failing;
    HRESULT result;
    bool handsBack;
    VARTYPE type;
    std::vector<std::wstring> values;
    std::string version;
};

// Counts its references: the test holds the first, so a count above 1 is the window's (or a leak)
// and one below 1 a release too many.
template <typename Interface> class Counted : public Interface {
public:
    explicit Counted(const WmiCase& behaviour) : wmi(behaviour) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (!IsEqualIID(iid, __uuidof(Interface)) && !IsEqualIID(iid, IID_IUnknown)) {
            return E_NOINTERFACE;
        }
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

    bool Fails(Call call) const { return wmi.failing == call; }
    // Hands `object` out with a reference of its own, as COM calls do.
    template <typename Out> HRESULT HandOut(Call call, Out* object, Out** place) {
        if (!Fails(call) || wmi.handsBack) {
            object->AddRef();
            *place = object;
        }
        return Fails(call) ? wmi.result : S_OK;
    }

    LONG references = 1;
    const WmiCase& wmi;
};

#define NOT_PART_OF_THE_QUERY(method, ...)                                                         \
    HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override {                                       \
        ADD_FAILURE() << #method " is not part of the query";                                      \
        return E_NOTIMPL;                                                                          \
    }

class Instance : public Counted<IWbemClassObject> {
public:
    Instance(const WmiCase& behaviour, const std::wstring& value)
        : Counted(behaviour), m_value(::SysAllocString(value.c_str())) {}
    ~Instance() { ::SysFreeString(m_value); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR, LONG, VARIANT* value, CIMTYPE*, LONG*) override {
        if (Fails(Call::Get)) {
            return wmi.result;
        }
        V_VT(value) = wmi.type;
        if (wmi.type == VT_BSTR) {
            V_BSTR(value) = ::SysAllocString(m_value);
        } else if (wmi.type == (VT_BSTR | VT_BYREF)) {
            V_BSTRREF(value) = &m_value;
        } else {
            V_I4(value) = 0x00410041; // read as a string pointer it points nowhere sensible
        }
        return S_OK;
    }
    NOT_PART_OF_THE_QUERY(GetQualifierSet, IWbemQualifierSet**)
    NOT_PART_OF_THE_QUERY(Put, LPCWSTR, LONG, VARIANT*, CIMTYPE)
    NOT_PART_OF_THE_QUERY(Delete, LPCWSTR)
    NOT_PART_OF_THE_QUERY(GetNames, LPCWSTR, LONG, VARIANT*, SAFEARRAY**)
    NOT_PART_OF_THE_QUERY(BeginEnumeration, LONG)
    NOT_PART_OF_THE_QUERY(Next, LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*)
    NOT_PART_OF_THE_QUERY(EndEnumeration, void)
    NOT_PART_OF_THE_QUERY(GetPropertyQualifierSet, LPCWSTR, IWbemQualifierSet**)
    NOT_PART_OF_THE_QUERY(Clone, IWbemClassObject**)
    NOT_PART_OF_THE_QUERY(GetObjectText, LONG, BSTR*)
    NOT_PART_OF_THE_QUERY(SpawnDerivedClass, LONG, IWbemClassObject**)
    NOT_PART_OF_THE_QUERY(SpawnInstance, LONG, IWbemClassObject**)
    NOT_PART_OF_THE_QUERY(CompareTo, LONG, IWbemClassObject*)
    NOT_PART_OF_THE_QUERY(GetPropertyOrigin, LPCWSTR, BSTR*)
    NOT_PART_OF_THE_QUERY(InheritsFrom, LPCWSTR)
    NOT_PART_OF_THE_QUERY(GetMethod, LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**)
    NOT_PART_OF_THE_QUERY(PutMethod, LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*)
    NOT_PART_OF_THE_QUERY(DeleteMethod, LPCWSTR)
    NOT_PART_OF_THE_QUERY(BeginMethodEnumeration, LONG)
    NOT_PART_OF_THE_QUERY(NextMethod, LONG, BSTR*, IWbemClassObject**, IWbemClassObject**)
    NOT_PART_OF_THE_QUERY(EndMethodEnumeration, void)
    NOT_PART_OF_THE_QUERY(GetMethodQualifierSet, LPCWSTR, IWbemQualifierSet**)
    NOT_PART_OF_THE_QUERY(GetMethodOrigin, LPCWSTR, BSTR*)

private:
    BSTR m_value;
};

class Enumerator : public Counted<IEnumWbemClassObject> {
public:
    Enumerator(const WmiCase& behaviour, std::deque<Instance>& instances)
        : Counted(behaviour), m_instances(instances) {}

    HRESULT STDMETHODCALLTYPE Next(LONG, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override {
        *returned = 0;
        if (Fails(Call::Next) && !wmi.handsBack) {
            return wmi.result;
        }
        for (; *returned < count && m_next < m_instances.size(); ++*returned) {
            m_instances[m_next].AddRef();
            objects[*returned] = &m_instances[m_next++];
        }
        if (Fails(Call::Next)) {
            return wmi.result;
        }
        return *returned == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }
    NOT_PART_OF_THE_QUERY(Reset, void)
    NOT_PART_OF_THE_QUERY(NextAsync, ULONG, IWbemObjectSink*)
    NOT_PART_OF_THE_QUERY(Clone, IEnumWbemClassObject**)
    NOT_PART_OF_THE_QUERY(Skip, LONG, ULONG)

private:
    std::deque<Instance>& m_instances;
    std::size_t m_next = 0;
};

class Services : public Counted<IWbemServices> {
public:
    Services(const WmiCase& behaviour, Enumerator& enumerator)
        : Counted(behaviour), m_enumerator(enumerator) {}

    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR, LONG, IWbemContext*,
                                                 IEnumWbemClassObject** enumerator) override {
        return HandOut(Call::Enumerate, static_cast<IEnumWbemClassObject*>(&m_enumerator),
                       enumerator);
    }
    using Result = IWbemCallResult;
    using Sink = IWbemObjectSink;
    using Context = IWbemContext;
    NOT_PART_OF_THE_QUERY(OpenNamespace, const BSTR, LONG, Context*, IWbemServices**, Result**)
    NOT_PART_OF_THE_QUERY(CancelAsyncCall, Sink*)
    NOT_PART_OF_THE_QUERY(QueryObjectSink, LONG, Sink**)
    NOT_PART_OF_THE_QUERY(GetObject, const BSTR, LONG, Context*, IWbemClassObject**, Result**)
    NOT_PART_OF_THE_QUERY(GetObjectAsync, const BSTR, LONG, Context*, Sink*)
    NOT_PART_OF_THE_QUERY(PutClass, IWbemClassObject*, LONG, Context*, Result**)
    NOT_PART_OF_THE_QUERY(PutClassAsync, IWbemClassObject*, LONG, Context*, Sink*)
    NOT_PART_OF_THE_QUERY(DeleteClass, const BSTR, LONG, Context*, Result**)
    NOT_PART_OF_THE_QUERY(DeleteClassAsync, const BSTR, LONG, Context*, Sink*)
    NOT_PART_OF_THE_QUERY(CreateClassEnum, const BSTR, LONG, Context*, IEnumWbemClassObject**)
    NOT_PART_OF_THE_QUERY(CreateClassEnumAsync, const BSTR, LONG, Context*, Sink*)
    NOT_PART_OF_THE_QUERY(PutInstance, IWbemClassObject*, LONG, Context*, Result**)
    NOT_PART_OF_THE_QUERY(PutInstanceAsync, IWbemClassObject*, LONG, Context*, Sink*)
    NOT_PART_OF_THE_QUERY(DeleteInstance, const BSTR, LONG, Context*, Result**)
    NOT_PART_OF_THE_QUERY(DeleteInstanceAsync, const BSTR, LONG, Context*, Sink*)
    NOT_PART_OF_THE_QUERY(CreateInstanceEnumAsync, const BSTR, LONG, Context*, Sink*)
    NOT_PART_OF_THE_QUERY(ExecQuery, const BSTR, const BSTR, LONG, Context*, IEnumWbemClassObject**)
    NOT_PART_OF_THE_QUERY(ExecQueryAsync, const BSTR, const BSTR, LONG, Context*, Sink*)
    NOT_PART_OF_THE_QUERY(ExecNotificationQuery, const BSTR, const BSTR, LONG, Context*,
                          IEnumWbemClassObject**)
    NOT_PART_OF_THE_QUERY(ExecNotificationQueryAsync, const BSTR, const BSTR, LONG, Context*, Sink*)
    NOT_PART_OF_THE_QUERY(ExecMethod, const BSTR, const BSTR, LONG, Context*, IWbemClassObject*,
                          IWbemClassObject**, Result**)
    NOT_PART_OF_THE_QUERY(ExecMethodAsync, const BSTR, const BSTR, LONG, Context*,
                          IWbemClassObject*, Sink*)

private:
    Enumerator& m_enumerator;
};

class Locator : public Counted<IWbemLocator> {
public:
    Locator(const WmiCase& behaviour, Services& services)
        : Counted(behaviour), m_services(services) {}

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR, const BSTR, const BSTR, const BSTR, LONG,
                                            const BSTR, IWbemContext*,
                                            IWbemServices** services) override {
        return HandOut(Call::Connect, static_cast<IWbemServices*>(&m_services), services);
    }

private:
    Services& m_services;
};

class Factory : public Counted<IClassFactory> {
public:
    Factory(const WmiCase& behaviour, Locator& locator) : Counted(behaviour), m_locator(locator) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override {
        ++creations;
        *object = nullptr;
        return Fails(Call::Create) ? wmi.result : m_locator.QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    int creations = 0;

private:
    Locator& m_locator;
};

// The stand-in WMI of one behaviour, registered as WMI's locator class while it lives.
class StandInWmi {
public:
    explicit StandInWmi(const WmiCase& behaviour) : m_wmi(behaviour) {
        for (const std::wstring& value : behaviour.values) {
            m_instances.emplace_back(behaviour, value);
        }
        // Once per thread is enough; it stays for the program's life, as in the program.
        ::CoInitialize(nullptr);
        registered = ::CoRegisterClassObject(CLSID_WbemLocator, &factory, CLSCTX_INPROC_SERVER,
                                             REGCLS_MULTIPLEUSE, &m_cookie) == S_OK;
    }
    ~StandInWmi() { ::CoRevokeClassObject(m_cookie); }
    StandInWmi(const StandInWmi&) = delete;
    StandInWmi& operator=(const StandInWmi&) = delete;

    // The references held beyond the test's own, as "name=count " along the chain.
    std::string Held() const {
        std::string held;
        const auto add = [&held](const char* name, LONG references) {
            if (references != 1) {
                held += std::string(name) + "=" + std::to_string(references - 1) + " ";
            }
        };
        add("locator", m_locator.references);
        add("services", m_services.references);
        add("enumerator", m_enumerator.references);
        for (const Instance& instance : m_instances) {
            add("instance", instance.references);
        }
        return held;
    }

private:
    const WmiCase& m_wmi;
    std::deque<Instance> m_instances;
    Enumerator m_enumerator{m_wmi, m_instances};
    Services m_services{m_wmi, m_enumerator};
    Locator m_locator{m_wmi, m_services};
    DWORD m_cookie = 0;

public:
    Factory factory{m_wmi, m_locator};
    bool registered = false;
};

class WmiTest : public testing::Test {
protected:
    explicit WmiTest(const WmiCase& behaviour) : wmi(behaviour) {}
    void SetUp() override { ASSERT_TRUE(wmi.registered); }

    StandInWmi wmi;
    // Declared last, so destroyed first: it releases the connection it holds.
    CUpdateDlg dialog;
};

class BiosQuery : public WmiTest, public testing::WithParamInterface<WmiCase> {
protected:
    BiosQuery() : WmiTest(GetParam()) {}
};

TEST_P(BiosQuery, LeavesOnlyAStringAsTheVersionAndNothingButTheConnectionHeld) {
    dialog.m_strBiosVersion = "STALE";

    dialog.ReadBiosVersion();

    EXPECT_EQ(dialog.m_strBiosVersion.GetString(), GetParam().version);
    const bool connected =
        GetParam().failing != Call::Create && GetParam().failing != Call::Connect;
    EXPECT_EQ(wmi.Held(), connected ? "services=1 " : "");
}

// The call that fails: its result, whether it hands back its object anyway; the value's type; the
// instances' values; the version.
const WmiCase kCases[] = {
    {"LocatorNotCreated", Call::Create, REGDB_E_CLASSNOTREG, false, VT_BSTR, {L"mirtsf12"}, ""},
    {"ConnectFails", Call::Connect, E_ACCESSDENIED, false, VT_BSTR, {L"mirtsf12"}, ""},
    {"ConnectFailsHandingBack", Call::Connect, E_FAIL, true, VT_BSTR, {L"mirtsf12"}, ""},
    {"EnumerationFails", Call::Enumerate, E_FAIL, false, VT_BSTR, {L"mirtsf12"}, ""},
    {"EnumerationFailsHandingBack", Call::Enumerate, E_FAIL, true, VT_BSTR, {L"mirtsf12"}, ""},
    {"NoInstance", Call::None, S_OK, false, VT_BSTR, {}, ""},
    {"TimedOut", Call::Next, WBEM_S_TIMEDOUT, false, VT_BSTR, {}, ""},
    {"NextFailsHandingBack", Call::Next, E_FAIL, true, VT_BSTR, {L"mirtsf12"}, ""},
    {"GetFails", Call::Get, E_FAIL, false, VT_BSTR, {L"mirtsf12"}, ""},
    {"Null", Call::None, S_OK, false, VT_NULL, {L"mirtsf12"}, ""},
    {"Number", Call::None, S_OK, false, VT_I4, {L"mirtsf12"}, ""},
    {"StringByReference", Call::None, S_OK, false, VT_BSTR | VT_BYREF, {L"mirtsf12"}, ""},
    {"FirstOfSeveral", Call::None, S_OK, false, VT_BSTR, {L"mirtsf12", L"mirtsf13"}, "MIRTSF12"},
    {"UpperCasedSpacesKept", Call::None, S_OK, false, VT_BSTR, {L" mIrTs F12 "}, " MIRTS F12 "},
    {"EmptyString", Call::None, S_OK, false, VT_BSTR, {L""}, ""},
    {"Long", Call::None, S_OK, false, VT_BSTR, {std::wstring(65536, 'v')}, std::string(65536, 'V')},
    // U+AC35 is 81 61 in code page 949 (the program runs Korean here): its trail byte reads as
    // "a" but is no letter, so only the letters around it are upper-cased.
    {"Cp949TrailByte", Call::None, S_OK, false, VT_BSTR, {L"mirts\uAC35a"}, "MIRTS\201aA"},
};

INSTANTIATE_TEST_SUITE_P(Wmi, BiosQuery, testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

const WmiCase kWorking{"Working", Call::None, S_OK, false, VT_BSTR, {L"mirtsf12"}, "MIRTSF12"};

class WorkingWmi : public WmiTest {
protected:
    WorkingWmi() : WmiTest(kWorking) {}
};

BSTR WINAPI NoSystemString(const OLECHAR*, UINT) {
    return nullptr;
}

// The status window abandons its run on this exception; nothing of WMI may be left behind.
TEST_F(WorkingWmi, NamespaceNotAllocatedThrowsBeforeWmiIsAsked) {
    const ImportPatch failing("oleaut32.dll", "SysAllocStringLen", &NoSystemString);
    ASSERT_TRUE(failing.Applied());

    EXPECT_THROW(dialog.ReadBiosVersion(), CMemoryException);

    EXPECT_EQ(wmi.factory.creations, 0);
    EXPECT_EQ(wmi.Held(), "");
}

TEST_F(WorkingWmi, SecondConnectionReplacesTheFirst) {
    ASSERT_TRUE(dialog.ConnectWmi());
    ASSERT_TRUE(dialog.ConnectWmi());

    EXPECT_EQ(wmi.Held(), "services=1 ");
}

} // namespace
