// Media types: the value class CMediaType over the platform's AM_MEDIA_TYPE,
// the free routines that create, copy, compare and free media types, and the
// bitmap size and subtype rules of the video formats.
//
// Ownership: a media type owns its format block (pbFormat, cbFormat bytes,
// from CoTaskMemAlloc) and one reference on pUnk. A type handed across an
// interface as a pointer (IEnumMediaTypes::Next, IAMStreamConfig::GetFormat)
// is itself task-allocated and the receiver frees it with DeleteMediaType.
// None of these routines takes a lock: the caller holds whatever guards the type.
#pragma once

#include <dshow.h>

#include <memory>

// Makes the empty type: all GUIDs GUID_NULL, no format block, no pUnk,
// bFixedSizeSamples TRUE and lSampleSize 1. The old content is overwritten,
// not freed.
void InitMediaType(AM_MEDIA_TYPE* mt);

// Frees the format block (only when cbFormat is not 0) and releases pUnk;
// the structure itself stays.
void FreeMediaType(AM_MEDIA_TYPE& mt);

// FreeMediaType, then frees the task-allocated structure. Null: nothing.
void DeleteMediaType(AM_MEDIA_TYPE* mt);

// Deep copy of source into target (target's old content is overwritten, not
// freed): a new format block and a reference on pUnk. If the format block
// cannot be allocated: E_OUTOFMEMORY and the target holds no format block and
// no pUnk.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);

// A task-allocated deep copy of source for handing across an interface, or
// null when memory runs out (or source is null). Free with DeleteMediaType.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);

// Owner of a task-allocated AM_MEDIA_TYPE (as returned by IEnumMediaTypes::Next).
struct MediaTypeDeleter {
  void operator()(AM_MEDIA_TYPE* mt) const { DeleteMediaType(mt); }
};
using MediaTypePtr = std::unique_ptr<AM_MEDIA_TYPE, MediaTypeDeleter>;

// Bytes of a DIB: rows padded to whole 32-bit words (unsigned 32-bit
// arithmetic) times the absolute height.
DWORD GetBitmapSize(const BITMAPINFOHEADER* header);

// The media subtype of a bitmap header: the FOURCC subtype for a compression
// code other than BI_RGB/BI_BITFIELDS, else by bit count (RGB1/4/8, 16 as
// GetTrueColorType, RGB24, RGB32; GUID_NULL otherwise).
GUID GetBitmapSubtype(const BITMAPINFOHEADER* header);

// The subtype of a 16-bit bitmap: RGB555 for BI_RGB, else by the three colour
// masks that follow the header (RGB555 or RGB565; GUID_NULL for others).
GUID GetTrueColorType(const BITMAPINFOHEADER* header);

class CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();  // the empty type
  // Deep copies; if the format block cannot be copied the new object holds
  // no format block (use Set to learn of the failure).
  CMediaType(const AM_MEDIA_TYPE& source);
  CMediaType(const CMediaType& source);
  ~CMediaType();

  CMediaType& operator=(const AM_MEDIA_TYPE& source);
  CMediaType& operator=(const CMediaType& source);

  // Replaces this type with a deep copy of source; self-assignment is S_OK
  // and changes nothing. E_OUTOFMEMORY when the format block cannot be copied.
  HRESULT Set(const AM_MEDIA_TYPE& source);

  // Major type, subtype, format type and format bytes; sample size, flags
  // and pUnk are not compared.
  bool operator==(const AM_MEDIA_TYPE& other) const;
  bool operator!=(const AM_MEDIA_TYPE& other) const { return !(*this == other); }

  // Major type or format type is GUID_NULL (the subtype does not count).
  bool IsPartiallySpecified() const;
  // This type fits the template: every non-null part of the template
  // (major type, subtype, format type with its format bytes) is equal.
  bool MatchesPartial(const AM_MEDIA_TYPE* templ) const;

  // Makes the empty type, freeing nothing (use FreeMediaType/Set first).
  void InitMediaType();

  // A format block of length bytes. The same length as now: the existing
  // block, contents kept. Otherwise a new block (old contents not carried
  // over); if that allocation fails the old block is kept and returned when
  // it is at least length bytes, else null.
  BYTE* AllocFormatBuffer(ULONG length);
  // AllocFormatBuffer(length) and a copy of the bytes; false when out of
  // memory. Length 0 leaves no format block (AllocFormatBuffer(0) likewise,
  // returning null).
  bool SetFormat(const BYTE* bytes, ULONG length);

  void SetType(const GUID* type) { majortype = *type; }
  void SetSubtype(const GUID* type) { subtype = *type; }
  void SetFormatType(const GUID* type) { formattype = *type; }
  // 0: variable-size samples (lSampleSize left alone); else fixed-size of size bytes.
  void SetSampleSize(ULONG size);
  void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }

  BYTE* Format() const { return pbFormat; }

  // Gives the whole content (format block and pUnk included) to target,
  // whose old content is overwritten; this object is left empty.
  void MoveTo(AM_MEDIA_TYPE* target);

 private:
  // Frees the format block (if cbFormat is not 0) and leaves none.
  void FreeFormat();
};

// Views a platform media type as the framework's value class (same layout,
// no members of its own). Only for reading; never destroy it as a CMediaType.
inline const CMediaType* AsMediaType(const AM_MEDIA_TYPE* mt) {
  static_assert(sizeof(CMediaType) == sizeof(AM_MEDIA_TYPE), "CMediaType adds no fields");
  return static_cast<const CMediaType*>(mt);
}
