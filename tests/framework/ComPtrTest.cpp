#include <windows.h>
#include <objidl.h>

#include "framework/ComPtr.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// A COM object that only counts: the test owns it, so every reference taken must be given
// back for the count to return to its start.
class TCountingObject : public IPersist {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IPersist) {
            *out = static_cast<IPersist*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }

    ULONG references = 1;  // the test's own
};

}  // namespace

TEST(ComPtr, TakesOrAdoptsAReferenceAndReleasesIt) {
    TCountingObject object;
    {
        TComPtr<IPersist> taken(&object);
        EXPECT_EQ(object.references, 2u);
        object.AddRef();
        TComPtr<IPersist> adopted(&object, false);
        EXPECT_EQ(object.references, 3u);
        EXPECT_EQ(taken.Get(), adopted.Get());
    }
    EXPECT_EQ(object.references, 1u);
}

TEST(ComPtr, CopiesCountMovesDoNot) {
    TCountingObject object;
    {
        TComPtr<IPersist> first(&object);
        TComPtr<IPersist> copy(first);
        EXPECT_EQ(object.references, 3u);
        TComPtr<IPersist> moved(std::move(copy));
        EXPECT_EQ(object.references, 3u);
        EXPECT_FALSE(copy);
        TComPtr<IPersist> assigned;
        assigned = moved;
        EXPECT_EQ(object.references, 4u);
        assigned = std::move(moved);
        EXPECT_EQ(object.references, 3u) << "the old reference of the target is released";
        auto& self = assigned;
        assigned = self;
        EXPECT_EQ(object.references, 3u);
        EXPECT_EQ(assigned.Get(), &object) << "self-assignment keeps the object";
        assigned = nullptr;
        EXPECT_EQ(object.references, 2u);
    }
    EXPECT_EQ(object.references, 1u);
}

TEST(ComPtr, AttachAdoptsAndReleasesTheOldDetachHandsOver) {
    TCountingObject a, b;
    TComPtr<IPersist> pointer(&a);
    b.AddRef();
    pointer.Attach(&b);
    EXPECT_EQ(a.references, 1u);
    EXPECT_EQ(b.references, 2u);
    IPersist* raw = pointer.Detach();
    EXPECT_EQ(raw, &b);
    EXPECT_FALSE(pointer);
    EXPECT_EQ(b.references, 2u) << "detaching keeps the reference for the caller";
    raw->Release();
}

TEST(ComPtr, PutReleasesBeforeTheSlotIsFilled) {
    TCountingObject a, b;
    TComPtr<IPersist> pointer(&a);
    IPersist** slot = pointer.Put();
    EXPECT_EQ(a.references, 1u);
    EXPECT_EQ(*slot, nullptr);
    EXPECT_EQ(b.QueryInterface(IID_IPersist, pointer.PutVoid()), S_OK);
    EXPECT_EQ(pointer.Get(), &b);
    pointer.Reset();
    EXPECT_EQ(b.references, 1u);
}

TEST(ComPtr, AsQueriesForAnotherInterface) {
    TCountingObject object;
    TComPtr<IPersist> persist(&object);
    {
        TComPtr<IUnknown> unknown = persist.As<IUnknown>();
        ASSERT_TRUE(unknown);
        EXPECT_EQ(object.references, 3u);
        TComPtr<IStream> stream = persist.As<IStream>();
        EXPECT_FALSE(stream);
        EXPECT_EQ(object.references, 3u);
        TComPtr<IPersist> explicitIid = unknown.As<IPersist>(IID_IPersist);
        EXPECT_EQ(explicitIid.Get(), &object);
    }
    EXPECT_EQ(object.references, 2u);
    EXPECT_FALSE(TComPtr<IPersist>().As<IUnknown>()) << "an empty pointer queries nothing";
}

TEST(ComPtr, HoldsASystemObjectThroughItsOutParameter) {
    TComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
    ULONG written = 0;
    EXPECT_EQ(stream->Write("abc", 3, &written), S_OK);
    EXPECT_EQ(written, 3u);
    TComPtr<IStream> copy = stream;
    STATSTG stat = {};
    EXPECT_EQ(copy->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 3u);
}
