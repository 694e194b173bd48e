#include "wmi_mocks.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include <cwchar>

bool IsSystemString(const wchar_t* text) {
    return text != nullptr &&
           ::SysStringLen(const_cast<BSTR>(text)) == static_cast<UINT>(std::wcslen(text));
}

template <typename Interface>
HRESULT STDMETHODCALLTYPE CountedObject<Interface>::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, m_iid)) {
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

template <typename Interface> ULONG STDMETHODCALLTYPE CountedObject<Interface>::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&m_references));
}

template <typename Interface> ULONG STDMETHODCALLTYPE CountedObject<Interface>::Release() {
    m_log.push_back(m_name + ".Release");
    const LONG left = ::InterlockedDecrement(&m_references);
    if (left < 1) {
        ADD_FAILURE() << m_name << " was released more often than it was referenced";
    }
    return static_cast<ULONG>(left);
}

template <typename Interface> void CountedObject<Interface>::Called(const char* method) {
    m_log.push_back(m_name + "." + method);
    if (m_references <= 1) {
        ADD_FAILURE() << m_name << "." << method << " called without holding a reference";
    }
}

template <typename Interface> HRESULT CountedObject<Interface>::Unexpected(const char* method) {
    ADD_FAILURE() << m_name << "." << method << " is not part of the query";
    return AsHresult(WBEM_E_NOT_SUPPORTED);
}

template class CountedObject<IWbemClassObject>;
template class CountedObject<IEnumWbemClassObject>;
template class CountedObject<IWbemServices>;
template class CountedObject<IWbemLocator>;
template class CountedObject<IClassFactory>;

// Hands `object` to an out-parameter with a reference of its own, the way COM calls do. With
// nothing to hand out the place is left as it was, as a careless implementation might.
template <typename Interface> void HandOut(Interface* object, Interface** place) {
    if (place == nullptr || object == nullptr) {
        return;
    }
    object->AddRef();
    *place = object;
}

MockClassObject::MockClassObject(const char* name, CallLog& log)
    : CountedObject(IID_IWbemClassObject, name, log) {
    ::VariantInit(&m_value);
}

MockClassObject::~MockClassObject() {
    ::VariantClear(&m_value);
}

void MockClassObject::WillReturn(HRESULT result, const VARIANT& value) {
    m_getResult = result;
    ::VariantClear(&m_value);
    ASSERT_EQ(S_OK, ::VariantCopy(&m_value, const_cast<VARIANT*>(&value)));
}

void MockClassObject::WillReturnString(const wchar_t* text) {
    VARIANT value;
    ::VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = ::SysAllocString(text);
    WillReturn(S_OK, value);
    ::VariantClear(&value);
}

HRESULT STDMETHODCALLTYPE MockClassObject::Get(LPCWSTR name, LONG flags, VARIANT* value,
                                               CIMTYPE* type, LONG* flavour) {
    Called("Get");
    getCalls.push_back({name != nullptr ? name : L"", IsSystemString(name), flags, value != nullptr,
                        type != nullptr, flavour != nullptr});
    if (value == nullptr) {
        return AsHresult(WBEM_E_INVALID_PARAMETER);
    }
    if (SUCCEEDED(m_getResult)) {
        // A variant that still held a value here would leak it: the caller must clear it first.
        EXPECT_EQ(VT_EMPTY, V_VT(value)) << "Get was handed a variant that still holds a value";
        ::VariantInit(value);
        EXPECT_EQ(S_OK, ::VariantCopy(value, &m_value));
    }
    return m_getResult;
}

HRESULT STDMETHODCALLTYPE MockClassObject::GetQualifierSet(IWbemQualifierSet**) {
    return Unexpected("GetQualifierSet");
}
HRESULT STDMETHODCALLTYPE MockClassObject::Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) {
    return Unexpected("Put");
}
HRESULT STDMETHODCALLTYPE MockClassObject::Delete(LPCWSTR) {
    return Unexpected("Delete");
}
HRESULT STDMETHODCALLTYPE MockClassObject::GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) {
    return Unexpected("GetNames");
}
HRESULT STDMETHODCALLTYPE MockClassObject::BeginEnumeration(LONG) {
    return Unexpected("BeginEnumeration");
}
HRESULT STDMETHODCALLTYPE MockClassObject::Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) {
    return Unexpected("Next");
}
HRESULT STDMETHODCALLTYPE MockClassObject::EndEnumeration() {
    return Unexpected("EndEnumeration");
}
HRESULT STDMETHODCALLTYPE MockClassObject::GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) {
    return Unexpected("GetPropertyQualifierSet");
}
HRESULT STDMETHODCALLTYPE MockClassObject::Clone(IWbemClassObject**) {
    return Unexpected("Clone");
}
HRESULT STDMETHODCALLTYPE MockClassObject::GetObjectText(LONG, BSTR*) {
    return Unexpected("GetObjectText");
}
HRESULT STDMETHODCALLTYPE MockClassObject::SpawnDerivedClass(LONG, IWbemClassObject**) {
    return Unexpected("SpawnDerivedClass");
}
HRESULT STDMETHODCALLTYPE MockClassObject::SpawnInstance(LONG, IWbemClassObject**) {
    return Unexpected("SpawnInstance");
}
HRESULT STDMETHODCALLTYPE MockClassObject::CompareTo(LONG, IWbemClassObject*) {
    return Unexpected("CompareTo");
}
HRESULT STDMETHODCALLTYPE MockClassObject::GetPropertyOrigin(LPCWSTR, BSTR*) {
    return Unexpected("GetPropertyOrigin");
}
HRESULT STDMETHODCALLTYPE MockClassObject::InheritsFrom(LPCWSTR) {
    return Unexpected("InheritsFrom");
}
HRESULT STDMETHODCALLTYPE MockClassObject::GetMethod(LPCWSTR, LONG, IWbemClassObject**,
                                                     IWbemClassObject**) {
    return Unexpected("GetMethod");
}
HRESULT STDMETHODCALLTYPE MockClassObject::PutMethod(LPCWSTR, LONG, IWbemClassObject*,
                                                     IWbemClassObject*) {
    return Unexpected("PutMethod");
}
HRESULT STDMETHODCALLTYPE MockClassObject::DeleteMethod(LPCWSTR) {
    return Unexpected("DeleteMethod");
}
HRESULT STDMETHODCALLTYPE MockClassObject::BeginMethodEnumeration(LONG) {
    return Unexpected("BeginMethodEnumeration");
}
HRESULT STDMETHODCALLTYPE MockClassObject::NextMethod(LONG, BSTR*, IWbemClassObject**,
                                                      IWbemClassObject**) {
    return Unexpected("NextMethod");
}
HRESULT STDMETHODCALLTYPE MockClassObject::EndMethodEnumeration() {
    return Unexpected("EndMethodEnumeration");
}
HRESULT STDMETHODCALLTYPE MockClassObject::GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) {
    return Unexpected("GetMethodQualifierSet");
}
HRESULT STDMETHODCALLTYPE MockClassObject::GetMethodOrigin(LPCWSTR, BSTR*) {
    return Unexpected("GetMethodOrigin");
}

MockEnumerator::MockEnumerator(const char* name, CallLog& log)
    : CountedObject(IID_IEnumWbemClassObject, name, log) {}

HRESULT STDMETHODCALLTYPE MockEnumerator::Next(LONG timeout, ULONG count,
                                               IWbemClassObject** objectsOut, ULONG* returned) {
    Called("Next");
    nextCalls.push_back({timeout, count});
    if (objectsOut == nullptr || returned == nullptr) {
        return AsHresult(WBEM_E_INVALID_PARAMETER);
    }
    ULONG given = 0;
    while (given < count && m_handedOut < objects.size()) {
        HandOut(objects[m_handedOut++], &objectsOut[given++]);
    }
    *returned = overrideCount ? reportedCount : given;
    if (overrideResult) {
        return nextResult;
    }
    return given == count ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
}

HRESULT STDMETHODCALLTYPE MockEnumerator::Reset() {
    return Unexpected("Reset");
}
HRESULT STDMETHODCALLTYPE MockEnumerator::NextAsync(ULONG, IWbemObjectSink*) {
    return Unexpected("NextAsync");
}
HRESULT STDMETHODCALLTYPE MockEnumerator::Clone(IEnumWbemClassObject**) {
    return Unexpected("Clone");
}
HRESULT STDMETHODCALLTYPE MockEnumerator::Skip(LONG, ULONG) {
    return Unexpected("Skip");
}

MockServices::MockServices(const char* name, CallLog& log)
    : CountedObject(IID_IWbemServices, name, log) {}

HRESULT STDMETHODCALLTYPE MockServices::CreateInstanceEnum(const BSTR className, LONG flags,
                                                           IWbemContext* context,
                                                           IEnumWbemClassObject** enumeratorOut) {
    Called("CreateInstanceEnum");
    enumCalls.push_back({className != nullptr ? className : L"", IsSystemString(className), flags,
                         context != nullptr});
    HandOut(enumerator, enumeratorOut);
    return enumResult;
}

HRESULT STDMETHODCALLTYPE MockServices::OpenNamespace(const BSTR, LONG, IWbemContext*,
                                                      IWbemServices**, IWbemCallResult**) {
    return Unexpected("OpenNamespace");
}
HRESULT STDMETHODCALLTYPE MockServices::CancelAsyncCall(IWbemObjectSink*) {
    return Unexpected("CancelAsyncCall");
}
HRESULT STDMETHODCALLTYPE MockServices::QueryObjectSink(LONG, IWbemObjectSink**) {
    return Unexpected("QueryObjectSink");
}
HRESULT STDMETHODCALLTYPE MockServices::GetObject(const BSTR, LONG, IWbemContext*,
                                                  IWbemClassObject**, IWbemCallResult**) {
    return Unexpected("GetObject");
}
HRESULT STDMETHODCALLTYPE MockServices::GetObjectAsync(const BSTR, LONG, IWbemContext*,
                                                       IWbemObjectSink*) {
    return Unexpected("GetObjectAsync");
}
HRESULT STDMETHODCALLTYPE MockServices::PutClass(IWbemClassObject*, LONG, IWbemContext*,
                                                 IWbemCallResult**) {
    return Unexpected("PutClass");
}
HRESULT STDMETHODCALLTYPE MockServices::PutClassAsync(IWbemClassObject*, LONG, IWbemContext*,
                                                      IWbemObjectSink*) {
    return Unexpected("PutClassAsync");
}
HRESULT STDMETHODCALLTYPE MockServices::DeleteClass(const BSTR, LONG, IWbemContext*,
                                                    IWbemCallResult**) {
    return Unexpected("DeleteClass");
}
HRESULT STDMETHODCALLTYPE MockServices::DeleteClassAsync(const BSTR, LONG, IWbemContext*,
                                                         IWbemObjectSink*) {
    return Unexpected("DeleteClassAsync");
}
HRESULT STDMETHODCALLTYPE MockServices::CreateClassEnum(const BSTR, LONG, IWbemContext*,
                                                        IEnumWbemClassObject**) {
    return Unexpected("CreateClassEnum");
}
HRESULT STDMETHODCALLTYPE MockServices::CreateClassEnumAsync(const BSTR, LONG, IWbemContext*,
                                                             IWbemObjectSink*) {
    return Unexpected("CreateClassEnumAsync");
}
HRESULT STDMETHODCALLTYPE MockServices::PutInstance(IWbemClassObject*, LONG, IWbemContext*,
                                                    IWbemCallResult**) {
    return Unexpected("PutInstance");
}
HRESULT STDMETHODCALLTYPE MockServices::PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*,
                                                         IWbemObjectSink*) {
    return Unexpected("PutInstanceAsync");
}
HRESULT STDMETHODCALLTYPE MockServices::DeleteInstance(const BSTR, LONG, IWbemContext*,
                                                       IWbemCallResult**) {
    return Unexpected("DeleteInstance");
}
HRESULT STDMETHODCALLTYPE MockServices::DeleteInstanceAsync(const BSTR, LONG, IWbemContext*,
                                                            IWbemObjectSink*) {
    return Unexpected("DeleteInstanceAsync");
}
HRESULT STDMETHODCALLTYPE MockServices::CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*,
                                                                IWbemObjectSink*) {
    return Unexpected("CreateInstanceEnumAsync");
}
HRESULT STDMETHODCALLTYPE MockServices::ExecQuery(const BSTR, const BSTR, LONG, IWbemContext*,
                                                  IEnumWbemClassObject**) {
    return Unexpected("ExecQuery");
}
HRESULT STDMETHODCALLTYPE MockServices::ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                                       IWbemObjectSink*) {
    return Unexpected("ExecQueryAsync");
}
HRESULT STDMETHODCALLTYPE MockServices::ExecNotificationQuery(const BSTR, const BSTR, LONG,
                                                              IWbemContext*,
                                                              IEnumWbemClassObject**) {
    return Unexpected("ExecNotificationQuery");
}
HRESULT STDMETHODCALLTYPE MockServices::ExecNotificationQueryAsync(const BSTR, const BSTR, LONG,
                                                                   IWbemContext*,
                                                                   IWbemObjectSink*) {
    return Unexpected("ExecNotificationQueryAsync");
}
HRESULT STDMETHODCALLTYPE MockServices::ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*,
                                                   IWbemClassObject*, IWbemClassObject**,
                                                   IWbemCallResult**) {
    return Unexpected("ExecMethod");
}
HRESULT STDMETHODCALLTYPE MockServices::ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*,
                                                        IWbemClassObject*, IWbemObjectSink*) {
    return Unexpected("ExecMethodAsync");
}

MockLocator::MockLocator(const char* name, CallLog& log)
    : CountedObject(IID_IWbemLocator, name, log) {}

HRESULT STDMETHODCALLTYPE MockLocator::ConnectServer(const BSTR resource, const BSTR user,
                                                     const BSTR password, const BSTR locale,
                                                     LONG securityFlags, const BSTR authority,
                                                     IWbemContext* context,
                                                     IWbemServices** servicesOut) {
    Called("ConnectServer");
    connectCalls.push_back({resource != nullptr ? resource : L"", IsSystemString(resource),
                            user != nullptr, password != nullptr, locale != nullptr, securityFlags,
                            authority != nullptr, context != nullptr});
    HandOut(services, servicesOut);
    return connectResult;
}

MockLocatorFactory::MockLocatorFactory(const char* name, CallLog& log)
    : CountedObject(IID_IClassFactory, name, log) {}

HRESULT STDMETHODCALLTYPE MockLocatorFactory::CreateInstance(IUnknown* outer, REFIID iid,
                                                             void** object) {
    Called("CreateInstance");
    createCalls.push_back({outer != nullptr, iid});
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (locator != nullptr && FAILED(locator->QueryInterface(iid, object))) {
        return E_NOINTERFACE;
    }
    return createResult;
}

HRESULT STDMETHODCALLTYPE MockLocatorFactory::LockServer(BOOL) {
    return S_OK;
}
