#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

namespace zarn::toolkit::win32 {

// One COM reference, released with the holder.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already owns.
    static ComPtr adopt(T* object) { return ComPtr(object); }
    // Adds a reference of its own, for a pointer lent by a callback.
    static ComPtr retain(T* object) {
        if (object != nullptr) object->AddRef();
        return ComPtr(object);
    }
    ~ComPtr() { reset(); }
    ComPtr(ComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // The out-parameter of a call that hands back a new reference.
    T** put() {
        reset();
        return &object_;
    }
    void reset() {
        if (object_ != nullptr) std::exchange(object_, nullptr)->Release();
    }
    // The same object through another of its interfaces; empty when it has no such interface.
    template <class Other>
    ComPtr<Other> as() const {
        void* other = nullptr;
        if (object_ == nullptr || FAILED(object_->QueryInterface(Other::iid, &other))) other = nullptr;
        return ComPtr<Other>::adopt(static_cast<Other*>(other));
    }

private:
    explicit ComPtr(T* object) : object_(object) {}
    T* object_ = nullptr;
};

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#endif

// IUnknown for an object that offers one interface. It lives while anyone holds a reference
// to it, made with the first; the last Release frees it.
template <class Interface>
class ComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID requested, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(requested, IID_IUnknown) || IsEqualIID(requested, Interface::iid)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            const std::unique_ptr<ComObject> last(this);
        }
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    friend struct std::default_delete<ComObject>;

    std::atomic<ULONG> references_{1};
};

template <class Interface, class Signature>
class Callback;

// A COM handler object (one Invoke) around a function.
template <class Interface, class... Args>
class Callback<Interface, HRESULT(Args...)> final : public ComObject<Interface> {
public:
    using Function = std::function<HRESULT(Args...)>;

    static ComPtr<Interface> make(Function function) {
        return ComPtr<Interface>::adopt(std::make_unique<Callback>(std::move(function)).release());
    }

    explicit Callback(Function function) : function_(std::move(function)) {}

    HRESULT STDMETHODCALLTYPE Invoke(Args... args) override { return function_(args...); }

private:
    ~Callback() override = default;
    friend struct std::default_delete<Callback>;

    Function function_;
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace zarn::toolkit::win32
