#pragma once
// The IUnknown part that every hand-made COM object of the page host and the test stand-ins shares: a reference
// count and QueryInterface over a fixed list of interfaces, all served by the primary one.
#include <windows.h>
#include <unknwn.h>

#include <atomic>

namespace qm::comkit {

// An interface an object answers for and the base that serves it: Via<IHTMLDocument3> is served by the base of
// that type, Via<IHTMLDocument, StubIHTMLDocument2> by the IHTMLDocument2 stub base.
template <typename Interface, typename Base = Interface>
struct Via {
    using InterfaceType = Interface;
    using BaseType = Base;
};

template <typename... Bases>
struct Implements {};

// An object whose interfaces sit on one or several bases, each with its own table (a document that is also an
// IOleWindow). IUnknown is served by the first base; Entries are the other interfaces it answers for. The count
// starts at `initial`: 0 for objects that the first smart pointer adopts, 1 for objects whose creator holds the
// first reference.
template <typename BaseList, typename... Entries>
class ComObjectOn;

template <typename First, typename... Others, typename... Entries>
class ComObjectOn<Implements<First, Others...>, Entries...> : public First, public Others... {
public:
    explicit ComObjectOn(ULONG initial = 0) : refs_(initial) {}
    ComObjectOn(const ComObjectOn&) = delete;
    ComObjectOn& operator=(const ComObjectOn&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = IsEqualIID(iid, IID_IUnknown) ? static_cast<First*>(this) : nullptr;
        ((*out = *out ? *out
                      : IsEqualIID(iid, __uuidof(typename Entries::InterfaceType))
                            ? static_cast<void*>(static_cast<typename Entries::BaseType*>(this))
                            : nullptr),
         ...);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (!left) delete this;
        return left;
    }

protected:
    virtual ~ComObjectOn() = default;

private:
    std::atomic<ULONG> refs_;
};

// Primary is the interface the object implements (possibly a stub base of it); Ids are the interfaces it answers
// for besides IUnknown, each given as the interface type and all served by Primary. The count starts at `initial`:
// 0 for objects that the first smart pointer adopts, 1 for objects whose creator holds the first reference.
template <typename Primary, typename... Ids>
class ComObject : public ComObjectOn<Implements<Primary>, Via<Ids, Primary>...> {
public:
    using ComObjectOn<Implements<Primary>, Via<Ids, Primary>...>::ComObjectOn;
};

// An object scriptable by name only: it has no type information.
template <typename Primary, typename... Ids>
class NamedDispatchObject : public ComObject<Primary, IDispatch, Ids...> {
public:
    using ComObject<Primary, IDispatch, Ids...>::ComObject;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
};

}  // namespace qm::comkit
