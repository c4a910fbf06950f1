#include <gtest/gtest.h>

#include "server/unknown.h"

namespace {

// A plain object with one extra face, counting its deletions.
struct IProbe : IUnknown {
  virtual int STDMETHODCALLTYPE Value() = 0;
};
const IID kIidProbe = {
    0x5a1e7c30, 0x1d2b, 0x4c6a, {0x9e, 0x11, 0x3b, 0x70, 0x2c, 0x55, 0x81, 0x0f}};

class CProbe : public CUnknown, public IProbe {
 public:
  CProbe(IUnknown* outer, int* deleted) : CUnknown(outer), m_deleted(deleted) {}
  ~CProbe() override { ++*m_deleted; }
  ZD_DECLARE_IUNKNOWN
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override {
    if (out && IsEqualIID(iid, kIidProbe))
      return GetInterface(static_cast<IProbe*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
  }
  int STDMETHODCALLTYPE Value() override { return 7; }
  LONG Count() const { return m_refCount; }

 private:
  int* m_deleted;
};

// An outer object that only counts its own references.
class COuter : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++count; }
  STDMETHODIMP_(ULONG) Release() override { return --count; }
  ULONG count = 1;
};

TEST(ObjectIdentity, CountsReferencesAndDiesOnTheLastRelease) {
  int deleted = 0;
  const LONG liveBefore = g_activeObjects;
  auto* probe = new CProbe(nullptr, &deleted);
  EXPECT_EQ(g_activeObjects, liveBefore + 1);
  INonDelegatingUnknown* identity = probe;
  EXPECT_EQ(identity->NonDelegatingAddRef(), 1u);
  EXPECT_EQ(identity->NonDelegatingAddRef(), 2u);
  EXPECT_EQ(identity->NonDelegatingAddRef(), 3u);
  EXPECT_EQ(identity->NonDelegatingRelease(), 2u);
  EXPECT_EQ(identity->NonDelegatingRelease(), 1u);
  EXPECT_EQ(deleted, 0);
  EXPECT_EQ(identity->NonDelegatingRelease(), 0u);
  EXPECT_EQ(deleted, 1);
  EXPECT_EQ(g_activeObjects, liveBefore);
}

TEST(ObjectIdentity, IUnknownThroughAnyFaceIsTheIdentityFace) {
  int deleted = 0;
  auto* probe = new CProbe(nullptr, &deleted);
  INonDelegatingUnknown* identity = probe;
  identity->NonDelegatingAddRef();

  IProbe* face = nullptr;
  ASSERT_EQ(identity->NonDelegatingQueryInterface(kIidProbe, reinterpret_cast<void**>(&face)),
            S_OK);
  EXPECT_EQ(face->Value(), 7);
  EXPECT_EQ(probe->Count(), 2);

  IUnknown* unknown = nullptr;
  ASSERT_EQ(face->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(identity));
  EXPECT_EQ(probe->Count(), 3);

  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(face->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(identity->NonDelegatingQueryInterface(IID_IUnknown, nullptr), E_POINTER);

  unknown->Release();
  face->Release();
  EXPECT_EQ(identity->NonDelegatingRelease(), 0u);
  EXPECT_EQ(deleted, 1);
}

TEST(ObjectIdentity, AggregatedFacesCountOnTheOuterObject) {
  int deleted = 0;
  COuter outer;
  auto* probe = new CProbe(&outer, &deleted);
  INonDelegatingUnknown* identity = probe;
  identity->NonDelegatingAddRef();  // the outer object's hold on the inner

  IProbe* face = nullptr;
  ASSERT_EQ(identity->NonDelegatingQueryInterface(kIidProbe, reinterpret_cast<void**>(&face)),
            S_OK);
  EXPECT_EQ(outer.count, 2u);
  face->AddRef();
  EXPECT_EQ(outer.count, 3u);
  EXPECT_EQ(probe->Count(), 1);
  face->Release();
  face->Release();
  EXPECT_EQ(outer.count, 1u);
  EXPECT_EQ(identity->NonDelegatingRelease(), 0u);
  EXPECT_EQ(deleted, 1);
}

TEST(ObjectIdentity, GetInterfaceWithNullOutAddsNoReference) {
  int deleted = 0;
  auto* probe = new CProbe(nullptr, &deleted);
  INonDelegatingUnknown* identity = probe;
  identity->NonDelegatingAddRef();
  EXPECT_EQ(GetInterface(static_cast<IProbe*>(probe), nullptr), E_POINTER);
  EXPECT_EQ(probe->Count(), 1);
  identity->NonDelegatingRelease();
  EXPECT_EQ(deleted, 1);
}

}  // namespace
