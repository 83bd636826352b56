// The chain of loaded samples behind the SampleList head: appended in loading order,
// counted, searched and unlinked by walking it. A sample's number is its position after the head.
#include "samples.h"

SampleRecord SampleList;

LONG AppendSample(SampleRecord* head, SampleRecord* record) {
  record->Next = nullptr;
  record->Playing = 0;
  SampleRecord* last = head;
  while (last->Next)
    last = last->Next;
  last->Next = record;
  return 0;
}

void ForgetSamples() {
  SampleList.Next = nullptr;
}

LONG CountSamples(const SampleRecord* head) {
  LONG count = 0;
  for (const SampleRecord* sample = head->Next; sample; sample = sample->Next)
    ++count;
  return count;
}

SampleRecord* SampleAt(int32_t number) {
  if (number < 0)
    return nullptr;
  SampleRecord* sample = SampleList.Next;
  for (int32_t position = 0; sample && position < number; ++position)
    sample = sample->Next;
  return sample;
}

int32_t FirstSampleNamed(LPCSTR name) {
  int32_t position = 0;
  for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next, ++position) {
    if (lstrcmpA(sample->Name, name) == 0)
      return position;
  }
  return -1;
}

int32_t LastSampleNamed(LPCSTR name) {
  int32_t found = -1;
  int32_t position = 0;
  for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next, ++position) {
    if (lstrcmpA(sample->Name, name) == 0)
      found = position;
  }
  return found;
}

bool IsLoadedSample(const SampleRecord* record) {
  for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next) {
    if (sample == record)
      return true;
  }
  return false;
}

LONG UnloadSample(SampleRecord* record, SampleRecord* head) {
  SampleRecord* before = head;
  while (before->Next && before->Next != record)
    before = before->Next;
  if (!before->Next)
    return 0; // not in the chain

  before->Next = record->Next;
  FreeSampleRecord(record);
  return 0;
}

void FreeSampleRecord(SampleRecord* record) {
  if (record->Format)
    FreeGlobalBlock(record->Format);
  if (record->Data)
    FreeGlobalBlock(record->Data);
  FreeGlobalBlock(record);
}
