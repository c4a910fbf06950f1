// Delivery of each filled sample, with the delivery faults its frame was
// given: a lost frame is counted and not delivered, a repeated one goes
// downstream twice, a reordered one is held back and follows the next frame
// that is delivered. Worker thread only (the sample loop calls Deliver right
// after FillBuffer); no lock: m_deliveryPlan and m_heldSample belong to the
// worker, and m_counts has its own.
#include <utility>

#include "stream/ball_stream.h"

namespace {

// The sample loop's own result rule: anything but S_OK ends the pushing.
bool Delivered(HRESULT hr) {
  return hr == S_OK;
}

// The downstream pin took the sample: S_OK, or S_FALSE (taken, but send no
// more, as a renderer answers while its graph stops). Either counts as
// delivered: the host has the frame.
bool Taken(HRESULT hr) {
  return hr == S_OK || hr == S_FALSE;
}

uint32_t DataLength(IMediaSample* sample) {
  const long length = sample->GetActualDataLength();
  return length > 0 ? uint32_t(length) : 0u;
}

}  // namespace

HRESULT CBallStream::Deliver(IMediaSample* sample) {
  const FramePlan& plan = m_deliveryPlan;
  switch (plan.delivery) {
    case DeliveryFault::kLoss:
      m_counts.RecordLoss(plan.frame);
      return S_OK;
    case DeliveryFault::kReorder:
      if (!m_heldSample) {
        m_heldSample = ComPtr<IMediaSample>(sample);  // one reference of our own
        return S_OK;
      }
      break;  // one is held already: this one goes on in order
    case DeliveryFault::kRepeat: {
      const HRESULT first = CBaseOutputPin::Deliver(sample);
      if (Taken(first))
        m_counts.RecordDelivered(DataLength(sample));
      if (!Delivered(first))
        return first;
      break;
    }
    case DeliveryFault::kNone:
      break;
  }
  const HRESULT hr = CBaseOutputPin::Deliver(sample);
  if (Taken(hr))
    m_counts.RecordDelivered(DataLength(sample));
  if (!Delivered(hr))
    return hr;
  if (!m_heldSample)
    return S_OK;
  ComPtr<IMediaSample> held = std::move(m_heldSample);
  const HRESULT late = CBaseOutputPin::Deliver(held.Get());
  if (Taken(late))
    m_counts.RecordDelivered(DataLength(held.Get()));
  return late;
}
