// The chain of loaded samples behind the SampleList head: appended in loading order,
// counted and unlinked by walking it. A sample's number is its position after the head.
#include "samples.h"

LONG AppendSample(SampleRecord* head, SampleRecord* record) {
  record->Next = nullptr;
  record->Playing = 0;
  SampleRecord* last = head;
  while (last->Next)
    last = last->Next;
  last->Next = record;
  return 0;
}

LONG CountSamples(const SampleRecord* head) {
  LONG count = 0;
  for (const SampleRecord* sample = head->Next; sample; sample = sample->Next)
    ++count;
  return count;
}

LONG UnloadSample(SampleRecord* record, SampleRecord* head) {
  SampleRecord* before = head;
  while (before->Next && before->Next != record)
    before = before->Next;
  if (!before->Next)
    return 0; // not in the chain

  if (record->Format)
    GlobalFree(GlobalHandle(record->Format));
  if (record->Data)
    GlobalFree(GlobalHandle(record->Data));
  SampleRecord* next = record->Next;
  HGLOBAL block = GlobalHandle(record);
  GlobalUnlock(block);
  GlobalFree(block);
  before->Next = next;
  return 0;
}
