// Hand-written WMI objects for the failures that Wine's WMI cannot be made to produce. Each one
// records how it was called and counts its references: the test holds the first reference, so at
// the end of a test every count must be back at 1 (no leak, no extra release), and a call made
// while only the test holds the object is a call through a pointer the caller had already given
// up.
#ifndef BIOSUPDATE_TESTS_SYSINFO_WMI_MOCKS_H
#define BIOSUPDATE_TESTS_SYSINFO_WMI_MOCKS_H

#include <windows.h>
#include <wbemcli.h>

#include <string>
#include <vector>

// WMI's status codes are an enumeration of unsigned values; COM calls answer them as HRESULTs.
constexpr HRESULT AsHresult(WBEMSTATUS status) {
    return static_cast<HRESULT>(status);
}

// The order of the calls that matter across objects ("enumerator.Release", ...).
using CallLog = std::vector<std::string>;

template <typename Interface> class CountedObject : public Interface {
public:
    CountedObject(const IID& iid, const char* name, CallLog& log)
        : m_iid(iid), m_name(name), m_log(log) {}
    CountedObject(const CountedObject&) = delete;
    CountedObject& operator=(const CountedObject&) = delete;
    virtual ~CountedObject() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    LONG References() const { return m_references; }
    const std::string& Name() const { return m_name; }

protected:
    // Records the call, and fails the test when the caller holds no reference to this object.
    void Called(const char* method);
    HRESULT Unexpected(const char* method);

private:
    const IID& m_iid;
    std::string m_name;
    CallLog& m_log;
    LONG m_references = 1;
};

class MockClassObject : public CountedObject<IWbemClassObject> {
public:
    MockClassObject(const char* name, CallLog& log);
    ~MockClassObject() override;

    // What Get hands back: `result`, and a copy of `value` when the result is a success.
    void WillReturn(HRESULT result, const VARIANT& value);
    void WillReturnString(const wchar_t* text);

    struct GetCall {
        std::wstring name;
        bool nameIsSystemString;
        LONG flags;
        bool valueGiven;
        bool typeAsked;
        bool flavourAsked;
    };
    std::vector<GetCall> getCalls;

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                  LONG* flavour) override;

    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override;
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override;
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override;
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override;
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override;
    HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override;
    HRESULT STDMETHODCALLTYPE EndEnumeration() override;
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override;
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override;
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override;
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override;
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override;
    HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override;
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override;
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override;
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**,
                                        IWbemClassObject**) override;
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*,
                                        IWbemClassObject*) override;
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override;
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override;
    HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**,
                                         IWbemClassObject**) override;
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override;
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override;
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override;

private:
    HRESULT m_getResult = S_OK;
    VARIANT m_value;
};

class MockEnumerator : public CountedObject<IEnumWbemClassObject> {
public:
    MockEnumerator(const char* name, CallLog& log);

    // Next hands out these in order, as many as asked for and left; it answers WBEM_S_NO_ERROR
    // when it could give them all and WBEM_S_FALSE when not, unless `nextResult` says otherwise.
    std::vector<IWbemClassObject*> objects;
    bool overrideResult = false;
    HRESULT nextResult = WBEM_S_NO_ERROR;
    // A count to report instead of the number handed out.
    bool overrideCount = false;
    ULONG reportedCount = 0;

    struct NextCall {
        LONG timeout;
        ULONG count;
    };
    std::vector<NextCall> nextCalls;

    HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objectsOut,
                                   ULONG* returned) override;

    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override;
    HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG) override;

private:
    size_t m_handedOut = 0;
};

class MockServices : public CountedObject<IWbemServices> {
public:
    MockServices(const char* name, CallLog& log);

    // CreateInstanceEnum answers `enumResult` and hands back `enumerator` (when not null), so a
    // failure that still hands back an object can be arranged.
    HRESULT enumResult = WBEM_S_NO_ERROR;
    IEnumWbemClassObject* enumerator = nullptr;

    struct EnumCall {
        std::wstring className;
        bool classIsSystemString;
        LONG flags;
        bool contextGiven;
    };
    std::vector<EnumCall> enumCalls;

    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR className, LONG flags,
                                                 IWbemContext* context,
                                                 IEnumWbemClassObject** enumeratorOut) override;

    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**,
                                            IWbemCallResult**) override;
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override;
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR, LONG, IWbemContext*, IWbemClassObject**,
                                        IWbemCallResult**) override;
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*,
                                             IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, LONG, IWbemContext*,
                                       IWbemCallResult**) override;
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*,
                                            IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, LONG, IWbemContext*,
                                          IWbemCallResult**) override;
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*,
                                               IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, LONG, IWbemContext*,
                                              IEnumWbemClassObject**) override;
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*,
                                                   IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject*, LONG, IWbemContext*,
                                          IWbemCallResult**) override;
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*,
                                               IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, LONG, IWbemContext*,
                                             IWbemCallResult**) override;
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*,
                                                  IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*,
                                                      IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                        IEnumWbemClassObject**) override;
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                             IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                                    IEnumWbemClassObject**) override;
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, LONG,
                                                         IWbemContext*, IWbemObjectSink*) override;
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*,
                                         IWbemClassObject*, IWbemClassObject**,
                                         IWbemCallResult**) override;
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                              IWbemClassObject*, IWbemObjectSink*) override;
};

class MockLocator : public CountedObject<IWbemLocator> {
public:
    MockLocator(const char* name, CallLog& log);

    // ConnectServer answers `connectResult` and hands back `services` (when not null).
    HRESULT connectResult = WBEM_S_NO_ERROR;
    IWbemServices* services = nullptr;

    struct ConnectCall {
        std::wstring resource;
        bool resourceIsSystemString;
        bool userGiven;
        bool passwordGiven;
        bool localeGiven;
        LONG securityFlags;
        bool authorityGiven;
        bool contextGiven;
    };
    std::vector<ConnectCall> connectCalls;

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR user,
                                            const BSTR password, const BSTR locale,
                                            LONG securityFlags, const BSTR authority,
                                            IWbemContext* context,
                                            IWbemServices** servicesOut) override;
};

// Stands in for WMI's locator class once registered with CoRegisterClassObject.
class MockLocatorFactory : public CountedObject<IClassFactory> {
public:
    MockLocatorFactory(const char* name, CallLog& log);

    // CreateInstance answers `createResult` and hands back `locator` (when not null).
    HRESULT createResult = S_OK;
    IWbemLocator* locator = nullptr;

    struct CreateCall {
        bool outerGiven;
        IID iid;
    };
    std::vector<CreateCall> createCalls;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override;
};

// True when `text` is a real system string: its length prefix matches its terminated length.
bool IsSystemString(const wchar_t* text);

#endif
