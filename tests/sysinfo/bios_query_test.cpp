// The BIOS version query of the status window: against Wine's own WMI, and against hand-written
// WMI objects for the failures that Wine cannot be made to produce.
#include "ui/update_dlg.h"

#include "import_patch.h"
#include "wmi_mocks.h"

#include <gtest/gtest.h>

#include <wbemcli.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

namespace {

// The thread that runs the tests is set up the way the program's start-up sets up its main thread.
class StartUpComEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        ASSERT_EQ(S_OK, ::CoInitializeSecurity(
                            nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                            RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_SECURE_REFS, nullptr));
    }
};
[[maybe_unused]] ::testing::Environment* const startUpCom =
    ::testing::AddGlobalTestEnvironment(new StartUpComEnvironment);

template <typename Interface> void ReleaseHeld(Interface*& pointer) {
    if (pointer != nullptr) {
        std::exchange(pointer, nullptr)->Release();
    }
}

// The window keeps its WMI connection and last value for the whole run; a test gives them up
// before the window goes, so whatever the window's destructor does with them stays sound.
void ReleaseConnection(CUpdateDlg& dialog) {
    ReleaseHeld(dialog.m_pSvc);
    ::VariantClear(&dialog.m_varValue);
}

// What Wine reports as the SMBIOS BIOS version: the host's firmware version where the host
// exposes one (without its line end), otherwise Wine's own name.
std::string WineReportedBiosVersion() {
    std::ifstream file("Z:\\sys\\class\\dmi\\id\\bios_version", std::ios::binary);
    if (!file) {
        return "Wine";
    }
    std::string version((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!version.empty() && version.back() == '\n') {
        version.pop_back();
    }
    return version;
}

std::string UpperCased(std::string text) {
    for (char& character : text) {
        character = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
    }
    return text;
}

class BiosQueryWithWineWmi : public ::testing::Test {
protected:
    void TearDown() override { ReleaseConnection(dialog); }

    CUpdateDlg dialog;
};

TEST_F(BiosQueryWithWineWmi, StageLeavesTheUpperCasedVersionAndKeepsOnlyTheConnection) {
    dialog.ReadBiosVersion();

    EXPECT_EQ(UpperCased(WineReportedBiosVersion()), dialog.m_strBiosVersion.GetString());
    EXPECT_NE(nullptr, dialog.m_pSvc);
    EXPECT_EQ(nullptr, dialog.m_pEnumerator);
    EXPECT_EQ(nullptr, dialog.m_pClassObject);
    ASSERT_EQ(VT_BSTR, V_VT(&dialog.m_varValue));
    // The variant keeps the value as WMI gave it, not upper-cased.
    EXPECT_EQ(WineReportedBiosVersion(), CString(V_BSTR(&dialog.m_varValue)).GetString());
}

TEST_F(BiosQueryWithWineWmi, UnknownClassHasNoFirstInstance) {
    ASSERT_TRUE(dialog.ConnectWmi());
    IEnumWbemClassObject* enumerator = nullptr;
    IWbemClassObject* instance = nullptr;

    EXPECT_FALSE(dialog.GetFirstInstance(L"Win32_NoSuchClass", &enumerator, &instance));
    EXPECT_EQ(nullptr, enumerator);
    EXPECT_EQ(nullptr, instance);
}

TEST_F(BiosQueryWithWineWmi, UnknownPropertyIsNotRead) {
    ASSERT_TRUE(dialog.ConnectWmi());
    IEnumWbemClassObject* enumerator = nullptr;
    IWbemClassObject* instance = nullptr;
    ASSERT_TRUE(dialog.GetFirstInstance(L"Win32_BIOS", &enumerator, &instance));

    EXPECT_FALSE(dialog.GetPropertyValue(L"NoSuchProperty", instance, &dialog.m_varValue));
    EXPECT_TRUE(dialog.GetPropertyValue(L"SMBIOSBIOSVersion", instance, &dialog.m_varValue));
    EXPECT_EQ(VT_BSTR, V_VT(&dialog.m_varValue));

    ReleaseHeld(instance);
    ReleaseHeld(enumerator);
}

struct ConnectOnThread {
    CUpdateDlg* dialog;
    BOOL connected;
};

DWORD WINAPI ConnectWithoutCom(void* parameter) {
    auto* attempt = static_cast<ConnectOnThread*>(parameter);
    attempt->connected = attempt->dialog->ConnectWmi();
    return 0;
}

TEST_F(BiosQueryWithWineWmi, ThreadWithoutComCannotCreateTheLocatorAndKeepsTheConnection) {
    ASSERT_TRUE(dialog.ConnectWmi());
    IWbemServices* const held = dialog.m_pSvc;

    ConnectOnThread attempt{&dialog, TRUE};
    const KernelHandle thread(::CreateThread(nullptr, 0, &ConnectWithoutCom, &attempt, 0, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 30000));

    EXPECT_FALSE(attempt.connected);
    EXPECT_EQ(held, dialog.m_pSvc);
}

// Each test builds a working WMI out of mocks (one Win32_BIOS instance holding "mirts1a0") and
// breaks the piece it is about.
class BiosQueryWithMockWmi : public ::testing::Test {
protected:
    void SetUp() override {
        factory.locator = &locator;
        locator.services = &services;
        services.enumerator = &enumerator;
        enumerator.objects = {&firstInstance};
        firstInstance.WillReturnString(L"mirts1a0");
        secondInstance.WillReturnString(L"other");
        ASSERT_EQ(S_OK, ::CoRegisterClassObject(CLSID_WbemLocator, &factory, CLSCTX_INPROC_SERVER,
                                                REGCLS_MULTIPLEUSE, &m_registration));
    }

    void TearDown() override {
        ReleaseConnection(dialog);
        ::CoRevokeClassObject(m_registration);
        ExpectOnlyTheTestsReference(firstInstance);
        ExpectOnlyTheTestsReference(secondInstance);
        ExpectOnlyTheTestsReference(enumerator);
        ExpectOnlyTheTestsReference(staleEnumerator);
        ExpectOnlyTheTestsReference(services);
        ExpectOnlyTheTestsReference(otherServices);
        ExpectOnlyTheTestsReference(locator);
        ExpectOnlyTheTestsReference(factory);
    }

    template <typename Interface>
    static void ExpectOnlyTheTestsReference(const CountedObject<Interface>& object) {
        EXPECT_EQ(1, object.References()) << object.Name() << " leaked or was released too often";
    }

    // Hands the window a connection of its own to `held`, as an earlier ConnectWmi would have.
    void HoldConnection(MockServices& held) {
        held.AddRef();
        dialog.m_pSvc = &held;
    }

    bool Logged(const std::string& call) const {
        return std::find(log.begin(), log.end(), call) != log.end();
    }

    size_t LogIndex(const std::string& call) const {
        return static_cast<size_t>(std::find(log.begin(), log.end(), call) - log.begin());
    }

    CallLog log;
    MockClassObject firstInstance{"first instance", log};
    MockClassObject secondInstance{"second instance", log};
    MockEnumerator enumerator{"enumerator", log};
    MockEnumerator staleEnumerator{"stale enumerator", log};
    MockServices services{"services", log};
    MockServices otherServices{"other services", log};
    MockLocator locator{"locator", log};
    MockLocatorFactory factory{"factory", log};
    CUpdateDlg dialog;

private:
    DWORD m_registration = 0;
};

TEST_F(BiosQueryWithMockWmi, StagePassesTheFixedArgumentsAndReleasesTheEnumeration) {
    dialog.ReadBiosVersion();

    EXPECT_STREQ("MIRTS1A0", dialog.m_strBiosVersion.GetString());

    ASSERT_EQ(1u, factory.createCalls.size());
    EXPECT_FALSE(factory.createCalls[0].outerGiven);
    EXPECT_TRUE(IsEqualIID(IID_IWbemLocator, factory.createCalls[0].iid));

    ASSERT_EQ(1u, locator.connectCalls.size());
    const MockLocator::ConnectCall& connect = locator.connectCalls[0];
    EXPECT_EQ(L"\\\\.\\root\\cimv2", connect.resource);
    EXPECT_EQ(14u, connect.resource.size());
    EXPECT_TRUE(connect.resourceIsSystemString);
    EXPECT_FALSE(connect.userGiven);
    EXPECT_FALSE(connect.passwordGiven);
    EXPECT_FALSE(connect.localeGiven);
    EXPECT_EQ(0, connect.securityFlags);
    EXPECT_FALSE(connect.authorityGiven);
    EXPECT_FALSE(connect.contextGiven);

    ASSERT_EQ(1u, services.enumCalls.size());
    EXPECT_EQ(L"Win32_BIOS", services.enumCalls[0].className);
    EXPECT_TRUE(services.enumCalls[0].classIsSystemString);
    EXPECT_EQ(0, services.enumCalls[0].flags);
    EXPECT_FALSE(services.enumCalls[0].contextGiven);

    ASSERT_EQ(1u, enumerator.nextCalls.size());
    EXPECT_EQ(2000, enumerator.nextCalls[0].timeout);
    EXPECT_EQ(1u, enumerator.nextCalls[0].count);

    ASSERT_EQ(1u, firstInstance.getCalls.size());
    const MockClassObject::GetCall& get = firstInstance.getCalls[0];
    EXPECT_EQ(L"SMBIOSBIOSVersion", get.name);
    EXPECT_TRUE(get.nameIsSystemString);
    EXPECT_EQ(0, get.flags);
    EXPECT_TRUE(get.valueGiven);
    EXPECT_FALSE(get.typeAsked);
    EXPECT_FALSE(get.flavourAsked);

    // The connection stays; the enumeration's objects go, the instance first.
    EXPECT_EQ(&services, dialog.m_pSvc);
    EXPECT_EQ(nullptr, dialog.m_pEnumerator);
    EXPECT_EQ(nullptr, dialog.m_pClassObject);
    ASSERT_TRUE(Logged("first instance.Release"));
    ASSERT_TRUE(Logged("enumerator.Release"));
    EXPECT_LT(LogIndex("first instance.Release"), LogIndex("enumerator.Release"));
}

TEST_F(BiosQueryWithMockWmi, SeveralInstancesOnlyTheFirstIsRead) {
    enumerator.objects = {&firstInstance, &secondInstance};

    dialog.ReadBiosVersion();

    EXPECT_STREQ("MIRTS1A0", dialog.m_strBiosVersion.GetString());
    ASSERT_EQ(1u, enumerator.nextCalls.size());
    EXPECT_EQ(1u, enumerator.nextCalls[0].count);
    EXPECT_TRUE(secondInstance.getCalls.empty());
}

// A case's description as a test name.
template <typename Case> std::string CaseName(const ::testing::TestParamInfo<Case>& testInfo) {
    std::string name = testInfo.param.name;
    for (char& character : name) {
        if (!std::isalnum(static_cast<unsigned char>(character))) {
            character = '_';
        }
    }
    return name;
}

enum class ValueKind { String, NullString, StringReference, Null, Empty, Integer };

struct ValueCase {
    const char* name;
    HRESULT getResult;
    ValueKind kind;
    const wchar_t* text;
    const char* expectedVersion;
};

void PrintTo(const ValueCase& valueCase, std::ostream* stream) {
    *stream << valueCase.name;
}

class BiosQueryValue : public BiosQueryWithMockWmi,
                       public ::testing::WithParamInterface<ValueCase> {};

TEST_P(BiosQueryValue, OnlyAStringBecomesTheVersion) {
    const ValueCase& valueCase = GetParam();
    BSTR referenced = ::SysAllocString(L"referenced text");
    VARIANT value;
    ::VariantInit(&value);
    switch (valueCase.kind) {
    case ValueKind::String:
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = ::SysAllocString(valueCase.text);
        break;
    case ValueKind::NullString:
        V_VT(&value) = VT_BSTR;
        V_BSTR(&value) = nullptr;
        break;
    case ValueKind::StringReference:
        V_VT(&value) = VT_BSTR | VT_BYREF;
        V_BSTRREF(&value) = &referenced;
        break;
    case ValueKind::Null:
        V_VT(&value) = VT_NULL;
        break;
    case ValueKind::Empty:
        break;
    case ValueKind::Integer:
        // As a string pointer this would point nowhere.
        V_VT(&value) = VT_I4;
        V_I4(&value) = 0x00410041;
        break;
    }
    firstInstance.WillReturn(valueCase.getResult, value);
    ::VariantClear(&value);
    dialog.m_strBiosVersion = "FROM AN EARLIER QUERY";

    dialog.ReadBiosVersion();

    EXPECT_STREQ(valueCase.expectedVersion, dialog.m_strBiosVersion.GetString());
    EXPECT_EQ(1u, firstInstance.getCalls.size());
    EXPECT_EQ(nullptr, dialog.m_pEnumerator);
    EXPECT_EQ(nullptr, dialog.m_pClassObject);
    ::SysFreeString(referenced);
}

INSTANTIATE_TEST_SUITE_P(
    Values, BiosQueryValue,
    ::testing::Values(
        ValueCase{"lower case", S_OK, ValueKind::String, L"mirts1a0", "MIRTS1A0"},
        ValueCase{"mixed case", S_OK, ValueKind::String, L"MiRtS1b2", "MIRTS1B2"},
        ValueCase{"spaces kept", S_OK, ValueKind::String, L"  mirts 1a0  ", "  MIRTS 1A0  "},
        ValueCase{"long value kept whole", S_OK, ValueKind::String,
                  L"mirts1a0 built 2015-03-12 for the notebook line with a long name",
                  "MIRTS1A0 BUILT 2015-03-12 FOR THE NOTEBOOK LINE WITH A LONG NAME"},
        ValueCase{"empty string", S_OK, ValueKind::String, L"", ""},
        ValueCase{"null string", S_OK, ValueKind::NullString, nullptr, ""},
        ValueCase{"string by reference", S_OK, ValueKind::StringReference, nullptr, ""},
        ValueCase{"null value", S_OK, ValueKind::Null, nullptr, ""},
        ValueCase{"no value", S_OK, ValueKind::Empty, nullptr, ""},
        ValueCase{"integer value", S_OK, ValueKind::Integer, nullptr, ""},
        ValueCase{"property missing", AsHresult(WBEM_E_NOT_FOUND), ValueKind::String, L"mirts1a0",
                  ""},
        ValueCase{"Get fails", AsHresult(WBEM_E_FAILED), ValueKind::String, L"mirts1a0", ""}),
    CaseName<ValueCase>);

struct EnumerationCase {
    const char* name;
    HRESULT enumResult;
    bool enumHandsBackEnumerator;
    size_t instancesLeft;
    bool overrideNextResult;
    HRESULT nextResult;
    bool overrideCount;
    bool nextCalled;
};

void PrintTo(const EnumerationCase& enumerationCase, std::ostream* stream) {
    *stream << enumerationCase.name;
}

class BiosQueryEnumeration : public BiosQueryWithMockWmi,
                             public ::testing::WithParamInterface<EnumerationCase> {
protected:
    void SetUp() override {
        BiosQueryWithMockWmi::SetUp();
        const EnumerationCase& enumerationCase = GetParam();
        services.enumResult = enumerationCase.enumResult;
        services.enumerator = enumerationCase.enumHandsBackEnumerator ? &enumerator : nullptr;
        enumerator.objects.resize(enumerationCase.instancesLeft, &firstInstance);
        enumerator.overrideResult = enumerationCase.overrideNextResult;
        enumerator.nextResult = enumerationCase.nextResult;
        enumerator.overrideCount = enumerationCase.overrideCount;
    }
};

TEST_P(BiosQueryEnumeration, FirstInstanceFailsAndHandsBackNothing) {
    ASSERT_TRUE(dialog.ConnectWmi());
    // Places that still point at objects the caller does not own: they are outputs only.
    IEnumWbemClassObject* enumeratorPlace = &staleEnumerator;
    IWbemClassObject* instancePlace = &secondInstance;

    EXPECT_FALSE(dialog.GetFirstInstance(L"Win32_BIOS", &enumeratorPlace, &instancePlace));

    EXPECT_EQ(nullptr, enumeratorPlace);
    EXPECT_EQ(nullptr, instancePlace);
    EXPECT_EQ(GetParam().nextCalled, !enumerator.nextCalls.empty());
}

TEST_P(BiosQueryEnumeration, StageLeavesTheVersionEmptyAndKeepsOnlyTheConnection) {
    dialog.m_strBiosVersion = "FROM AN EARLIER QUERY";

    dialog.ReadBiosVersion();

    EXPECT_STREQ("", dialog.m_strBiosVersion.GetString());
    EXPECT_TRUE(firstInstance.getCalls.empty());
    EXPECT_EQ(nullptr, dialog.m_pEnumerator);
    EXPECT_EQ(nullptr, dialog.m_pClassObject);
    EXPECT_EQ(&services, dialog.m_pSvc);
}

// Columns: CreateInstanceEnum's result, whether it hands back the enumerator, instances left in
// it, Next's own result (or the natural one), whether Next reports a count of 0 whatever it hands
// out, and whether Next is reached at all.
INSTANTIATE_TEST_SUITE_P(
    Failures, BiosQueryEnumeration,
    ::testing::Values(
        EnumerationCase{"no instance", S_OK, true, 0, false, S_OK, false, true},
        EnumerationCase{"timed out", S_OK, true, 0, true, AsHresult(WBEM_S_TIMEDOUT), false, true},
        EnumerationCase{"Next fails", S_OK, true, 0, true, AsHresult(WBEM_E_FAILED), false, true},
        EnumerationCase{"Next fails but hands back an instance", S_OK, true, 1, true,
                        AsHresult(WBEM_E_FAILED), false, true},
        EnumerationCase{"Next succeeds with nothing", S_OK, true, 0, true, S_OK, false, true},
        EnumerationCase{"count says none although an instance came", S_OK, true, 1, true,
                        AsHresult(WBEM_S_FALSE), true, true},
        EnumerationCase{"class unknown", AsHresult(WBEM_E_INVALID_CLASS), false, 1, false, S_OK,
                        false, false},
        EnumerationCase{"enumeration fails but hands back an enumerator", AsHresult(WBEM_E_FAILED),
                        true, 1, false, S_OK, false, false},
        EnumerationCase{"enumeration succeeds with no enumerator", S_OK, false, 1, false, S_OK,
                        false, false}),
    CaseName<EnumerationCase>);

TEST_F(BiosQueryWithMockWmi, LocatorNotCreatedLeavesTheHeldConnectionAlone) {
    factory.locator = nullptr;
    factory.createResult = REGDB_E_CLASSNOTREG;
    HoldConnection(services);

    EXPECT_FALSE(dialog.ConnectWmi());
    EXPECT_EQ(&services, dialog.m_pSvc);
    EXPECT_EQ(2, services.References());

    dialog.ReadBiosVersion();
    EXPECT_STREQ("", dialog.m_strBiosVersion.GetString());
    EXPECT_TRUE(services.enumCalls.empty());
}

TEST_F(BiosQueryWithMockWmi, FailedConnectionReleasesTheHeldOneAndEnumeratesNothing) {
    locator.connectResult = AsHresult(WBEM_E_ACCESS_DENIED);
    locator.services = nullptr;
    HoldConnection(otherServices);

    dialog.ReadBiosVersion();

    EXPECT_EQ(nullptr, dialog.m_pSvc);
    EXPECT_STREQ("", dialog.m_strBiosVersion.GetString());
    EXPECT_TRUE(otherServices.enumCalls.empty());
    EXPECT_TRUE(services.enumCalls.empty());
}

TEST_F(BiosQueryWithMockWmi, FailedConnectionThatHandsBackServicesKeepsNone) {
    locator.connectResult = AsHresult(WBEM_E_FAILED);

    EXPECT_FALSE(dialog.ConnectWmi());
    EXPECT_EQ(nullptr, dialog.m_pSvc);
}

TEST_F(BiosQueryWithMockWmi, SecondConnectReleasesTheHeldConnectionBeforeConnecting) {
    ASSERT_TRUE(dialog.ConnectWmi());
    ASSERT_EQ(&services, dialog.m_pSvc);
    locator.services = &otherServices;
    log.clear();

    EXPECT_TRUE(dialog.ConnectWmi());

    EXPECT_EQ(&otherServices, dialog.m_pSvc);
    EXPECT_EQ(1, services.References());
    ASSERT_TRUE(Logged("services.Release"));
    ASSERT_TRUE(Logged("locator.ConnectServer"));
    EXPECT_LT(LogIndex("services.Release"), LogIndex("locator.ConnectServer"));
}

BSTR WINAPI FailingSysAllocStringLen(const OLECHAR*, UINT) {
    return nullptr;
}
BSTR WINAPI FailingSysAllocString(const OLECHAR*) {
    return nullptr;
}

TEST_F(BiosQueryWithMockWmi, NamespacePathNotAllocatedThrowsBeforeAnythingIsCreated) {
    HoldConnection(services);
    const ScopedImportPatch failingAllocation("oleaut32.dll", "SysAllocStringLen",
                                              &FailingSysAllocStringLen);
    ASSERT_TRUE(failingAllocation.IsApplied());

    EXPECT_THROW(dialog.ReadBiosVersion(), CMemoryException);

    EXPECT_TRUE(factory.createCalls.empty());
    EXPECT_EQ(&services, dialog.m_pSvc);
}

TEST_F(BiosQueryWithMockWmi, NamesNotAllocatedFailWithoutCallingWmi) {
    ASSERT_TRUE(dialog.ConnectWmi());
    ::VariantClear(&dialog.m_varValue);
    V_VT(&dialog.m_varValue) = VT_BSTR;
    V_BSTR(&dialog.m_varValue) = ::SysAllocString(L"earlier value");
    const ScopedImportPatch failingAllocation("oleaut32.dll", "SysAllocString",
                                              &FailingSysAllocString);
    ASSERT_TRUE(failingAllocation.IsApplied());
    IEnumWbemClassObject* enumeratorPlace = nullptr;
    IWbemClassObject* instancePlace = nullptr;

    EXPECT_FALSE(dialog.GetFirstInstance(L"Win32_BIOS", &enumeratorPlace, &instancePlace));
    EXPECT_TRUE(services.enumCalls.empty());
    EXPECT_EQ(nullptr, enumeratorPlace);

    EXPECT_FALSE(dialog.GetPropertyValue(L"SMBIOSBIOSVersion", &firstInstance, &dialog.m_varValue));
    EXPECT_TRUE(firstInstance.getCalls.empty());
    EXPECT_EQ(VT_EMPTY, V_VT(&dialog.m_varValue));
}

TEST_F(BiosQueryWithMockWmi, PropertyReadClearsTheEarlierValueFirst) {
    firstInstance.AddRef();
    V_VT(&dialog.m_varValue) = VT_BSTR;
    V_BSTR(&dialog.m_varValue) = ::SysAllocString(L"earlier value");

    EXPECT_TRUE(dialog.GetPropertyValue(L"SMBIOSBIOSVersion", &firstInstance, &dialog.m_varValue));

    ASSERT_EQ(VT_BSTR, V_VT(&dialog.m_varValue));
    EXPECT_STREQ(L"mirts1a0", V_BSTR(&dialog.m_varValue));
    firstInstance.Release();
}

TEST_F(BiosQueryWithMockWmi, MissingArgumentsFailWithoutCallingWmi) {
    IEnumWbemClassObject* enumeratorPlace = nullptr;
    IWbemClassObject* instancePlace = nullptr;

    // No connection yet.
    EXPECT_FALSE(dialog.GetFirstInstance(L"Win32_BIOS", &enumeratorPlace, &instancePlace));

    ASSERT_TRUE(dialog.ConnectWmi());
    EXPECT_FALSE(dialog.GetFirstInstance(nullptr, &enumeratorPlace, &instancePlace));
    EXPECT_FALSE(dialog.GetFirstInstance(L"Win32_BIOS", nullptr, &instancePlace));
    EXPECT_FALSE(dialog.GetFirstInstance(L"Win32_BIOS", &enumeratorPlace, nullptr));
    EXPECT_TRUE(services.enumCalls.empty());

    EXPECT_FALSE(dialog.GetPropertyValue(L"SMBIOSBIOSVersion", nullptr, &dialog.m_varValue));
    EXPECT_FALSE(dialog.GetPropertyValue(nullptr, &firstInstance, &dialog.m_varValue));
    EXPECT_FALSE(dialog.GetPropertyValue(L"SMBIOSBIOSVersion", &firstInstance, nullptr));
    EXPECT_TRUE(firstInstance.getCalls.empty());
}

} // namespace
