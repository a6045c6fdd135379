#include "exchange/edge_records.h"

#include "exchange/exchange_work.h"
#include "vlk_check.h"

bool EdgeRecordReader::next(VLK_EdgeRecord* rec) {
  if (pos_ == end_) return false;
  vlk::check(end_ - pos_ >= 3, "a record header inside the stream");
  rec->v = pos_[0];
  rec->num_pa = pos_[1];
  rec->num_ch = pos_[2];
  rec->parents = pos_ + 3;
  rec->children = rec->parents + rec->num_pa;
  vlk::check(static_cast<size_t>(end_ - pos_) >= rec->size(), "a record inside the stream");
  pos_ += rec->size();
  return true;
}

void EdgeRecordWriter::begin(unsigned short v) {
  start_ = s_->size;
  num_pa_ = num_ch_ = 0;
  in_children_ = false;
  // The header's three slots, written by end(); appending grows the stream by doubling.
  for (int i = 0; i < 3; ++i) exchange::need(VLK_UShortArray_add(s_, v), what_);
}

void EdgeRecordWriter::add(unsigned short id) {
  exchange::need(VLK_UShortArray_add(s_, id), what_);
  ++(in_children_ ? num_ch_ : num_pa_);
}

void EdgeRecordWriter::children() { in_children_ = true; }

size_t EdgeRecordWriter::end() {
  const size_t ids = num_pa_ + num_ch_;
  if (ids == 0) {
    s_->size = start_;
    return 0;
  }
  // A gene has fewer than 65535 smaller genes, and a nucleus fewer than 65535 positions.
  vlk::check(num_pa_ < kNoGene && num_ch_ < kNoGene, "id counts fit the header");
  s_->data[start_ + 1] = static_cast<unsigned short>(num_pa_);
  s_->data[start_ + 2] = static_cast<unsigned short>(num_ch_);
  return ids;
}
