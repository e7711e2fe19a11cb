#include <windows.h>
#include <objsafe.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include "module/win32/module_under_test.h"
#include "quillmark_h.h"

namespace qm {
namespace {

using namespace qm::testing;
using Microsoft::WRL::ComPtr;

// A controlling object that aggregates the control and counts its own references.
class Outer final : public IUnknown {
public:
    LONG refs = 1;
    IUnknown* inner = nullptr;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, object) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
};

class ClassFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Module().complete()) << "cannot load Quillmark.dll beside the test program";
        ASSERT_EQ(Module().getClassObject(CLSID_FileDragDrop, IID_IClassFactory,
                                          reinterpret_cast<void**>(factory.GetAddressOf())),
                  S_OK);
        ASSERT_TRUE(factory);
    }
    ComPtr<IClassFactory> factory;
};

TEST_F(ClassFactoryTest, GetClassObjectChecksItsArguments) {
    EXPECT_EQ(Module().getClassObject(CLSID_FileDragDrop, IID_IClassFactory, nullptr), E_POINTER);

    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(Module().getClassObject(CLSID_OutlookDragDrop, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(Module().getClassObject(IID_IFileDragDrop, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);

    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(Module().getClassObject(CLSID_FileDragDrop, IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    // The factory is cached: every request gets the same one.
    ComPtr<IUnknown> again;
    ASSERT_EQ(Module().getClassObject(CLSID_FileDragDrop, IID_IUnknown,
                                      reinterpret_cast<void**>(again.GetAddressOf())),
              S_OK);
    ComPtr<IUnknown> first;
    factory.As(&first);
    EXPECT_EQ(again.Get(), first.Get());
}

TEST_F(ClassFactoryTest, CreateInstanceRefusesBadArgumentsAndAggregationOfOtherInterfaces) {
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IFileDragDrop, nullptr), E_POINTER);

    Outer outer;
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IFileDragDrop, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(outer.refs, 1);

    object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    factory.Reset();
    EXPECT_EQ(Module().canUnloadNow(), S_OK) << "the failed creation left an object behind";
}

TEST_F(ClassFactoryTest, ObjectAnswersForItsInterfacesOnly) {
    ComPtr<IFileDragDrop> control;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IFileDragDrop, reinterpret_cast<void**>(control.GetAddressOf())),
              S_OK);
    ComPtr<IUnknown> unknown;
    ComPtr<IDispatch> dispatch;
    ComPtr<IUnknown> safety;
    EXPECT_EQ(control.As(&unknown), S_OK);
    EXPECT_EQ(control.As(&dispatch), S_OK);
    EXPECT_EQ(control->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(safety.GetAddressOf())), S_OK);
    ComPtr<IUnknown> other;
    EXPECT_EQ(control->QueryInterface(IID_IOutlookDragDrop, reinterpret_cast<void**>(other.GetAddressOf())),
              E_NOINTERFACE);
    EXPECT_EQ(control->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(other.GetAddressOf())),
              E_NOINTERFACE);
    EXPECT_EQ(control->QueryInterface(IID_IFileDragDrop, nullptr), E_POINTER);
    // One identity: the IUnknown of every interface is the same pointer.
    ComPtr<IUnknown> fromDispatch;
    dispatch.As(&fromDispatch);
    EXPECT_EQ(fromDispatch.Get(), unknown.Get());
}

TEST_F(ClassFactoryTest, AggregatedObjectDelegatesToItsOuterObject) {
    Outer outer;
    ComPtr<IUnknown> inner;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(inner.GetAddressOf())), S_OK);
    ASSERT_TRUE(inner);
    EXPECT_NE(inner.Get(), static_cast<IUnknown*>(&outer));
    outer.inner = inner.Get();
    EXPECT_EQ(outer.refs, 1) << "creating the inner object must not hold the outer one";

    IFileDragDrop* control = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IFileDragDrop, reinterpret_cast<void**>(&control)), S_OK);
    ASSERT_TRUE(control);
    EXPECT_EQ(outer.refs, 2) << "the interface's reference belongs to the outer object";
    control->AddRef();
    EXPECT_EQ(outer.refs, 3);
    control->Release();
    EXPECT_EQ(outer.refs, 2);

    // The interface's IUnknown is the outer object's.
    IUnknown* identity = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();

    BSTR version = nullptr;
    EXPECT_EQ(control->get_Version(&version), S_OK);
    EXPECT_EQ(std::wstring(version ? version : L""), L"2,2,0,3");
    SysFreeString(version);

    control->Release();
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(Module().canUnloadNow(), S_FALSE) << "inner object still alive";
    outer.inner = nullptr;
    inner.Reset();
    factory.Reset();
    EXPECT_EQ(Module().canUnloadNow(), S_OK);
}

TEST_F(ClassFactoryTest, CanUnloadNowFollowsObjectsLocksAndFactoryReferences) {
    EXPECT_EQ(Module().canUnloadNow(), S_FALSE) << "an outside factory reference locks the module";
    ComPtr<IFileDragDrop> control;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IFileDragDrop, reinterpret_cast<void**>(control.GetAddressOf())),
              S_OK);
    factory.Reset();
    EXPECT_EQ(Module().canUnloadNow(), S_FALSE) << "object alive";
    control.Reset();
    EXPECT_EQ(Module().canUnloadNow(), S_OK);

    ComPtr<IClassFactory> locker;
    ASSERT_EQ(Module().getClassObject(CLSID_FileDragDrop, IID_IClassFactory,
                                      reinterpret_cast<void**>(locker.GetAddressOf())),
              S_OK);
    EXPECT_EQ(locker->LockServer(TRUE), S_OK);
    locker.Reset();
    EXPECT_EQ(Module().canUnloadNow(), S_FALSE) << "LockServer(TRUE) holds the module";
    ASSERT_EQ(Module().getClassObject(CLSID_FileDragDrop, IID_IClassFactory,
                                      reinterpret_cast<void**>(locker.GetAddressOf())),
              S_OK);
    EXPECT_EQ(locker->LockServer(FALSE), S_OK);
    locker.Reset();
    EXPECT_EQ(Module().canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace qm
