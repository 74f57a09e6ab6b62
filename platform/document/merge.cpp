// Applying commits from other replicas: causal order, duplicates, waiting
// for dependencies, and the checks that keep a bad commit from changing
// anything.
#include <algorithm>
#include <map>
#include <set>

#include "document/document_state.h"

namespace kova::doc {

Result<void> Document::State::validate(const Commit& c) const {
  auto corrupt = [&](const std::string& why) {
    return std::unexpected(error(ErrorCode::Corrupt, describe(c) + ": " + why));
  };
  const std::uint64_t prev_seq = last_seq.contains(c.actor) ? last_seq.at(c.actor) : 0;
  if (c.seq <= prev_seq) {
    return std::unexpected(error(ErrorCode::Conflict, describe(c) +
                                                          ": another commit already has this actor "
                                                          "and sequence number"));
  }
  if (c.seq != prev_seq + 1) return corrupt("sequence number skips a commit of its actor");
  std::uint64_t floor = last_op.contains(c.actor) ? last_op.at(c.actor) : 0;
  for (const auto& d : c.deps)
    floor = std::max(floor, end_op.at(d));
  if (c.start_op <= floor) return corrupt("op counter does not follow its dependencies");

  // Objects and characters this commit creates, so later ops may use them.
  std::map<ObjId, ObjType> made;
  // Characters this commit inserts: [first, first + width) of its actor.
  std::map<ObjId, std::map<std::uint64_t, std::uint64_t>> inserted;
  auto type_of = [&](ObjId id) -> std::optional<ObjType> {
    if (auto it = made.find(id); it != made.end()) return it->second;
    if (const Object* o = find(id)) return o->type;
    return std::nullopt;
  };
  auto has_elem = [&](ObjId obj, const OpId& e) {
    if (auto it = inserted.find(obj); it != inserted.end() && e.actor == c.actor) {
      auto run = it->second.upper_bound(e.counter);
      if (run != it->second.begin() && e.counter < std::prev(run)->second) return true;
    }
    const Object* o = find(obj);
    return o && o->elem_ids.contains(e);
  };
  auto need_type = [&](ObjId obj, ObjType t) { return type_of(obj) == t; };

  std::uint64_t counter = c.start_op;
  for (const auto& op : c.ops) {
    const OpId id{counter, c.actor};
    const std::uint64_t width = op_width(op);
    if (width == 0 || width > max_counter - counter) return corrupt("op counter out of range");
    bool ok = std::visit(
        Overload{
            [&](const PutOp& p) { return need_type(p.obj, ObjType::Map); },
            [&](const MakeObjOp& m) {
              if (!need_type(m.obj, ObjType::Map) || type_of(ObjId{id})) return false;
              made[ObjId{id}] = m.type;
              return true;
            },
            [&](const DeleteOp& d) { return need_type(d.obj, ObjType::Map); },
            [&](const InsertTextOp& ins) {
              if (!need_type(ins.obj, ObjType::Text)) return false;
              if (ins.after.counter != 0 && (!(ins.after < id) || !has_elem(ins.obj, ins.after)))
                return false;
              // The new ids cannot exist yet: every counter of this actor
              // so far is below start_op (checked above).
              inserted[ins.obj].emplace(counter, counter + width);
              return utf8::valid(ins.text);
            },
            [&](const DeleteTextOp& del) {
              if (!need_type(del.obj, ObjType::Text)) return false;
              return std::all_of(del.elems.begin(), del.elems.end(),
                                 [&](const OpId& e) { return has_elem(del.obj, e); });
            },
        },
        op);
    if (!ok) return corrupt("op " + std::to_string(counter) + " does not fit the document");
    counter += width;
  }
  return {};
}

Result<void> Document::State::apply_ready(const Commit& c) {
  if (auto v = validate(c); !v) return v;
  std::uint64_t counter = c.start_op;
  for (const auto& op : c.ops) {
    apply_op(op, OpId{counter, c.actor});
    counter += op_width(op);
  }
  register_commit(c, counter - 1);
  return {};
}

Result<ApplyReport> Document::apply(std::span<const Commit> commits) {
  State& s = *state_;
  if (!s.pending.empty()) commit("");
  ApplyReport report;
  auto drain = [&]() -> Result<void> {
    for (bool progress = true; progress && !s.waiting.empty();) {
      progress = false;
      for (auto it = s.waiting.begin(); it != s.waiting.end();) {
        if (!s.ready(it->second)) {
          ++it;
          continue;
        }
        Commit c = std::move(it->second);
        it = s.waiting.erase(it);
        if (auto r = s.apply_ready(c); !r) return r;
        ++report.applied;
        progress = true;
      }
    }
    return {};
  };
  for (const Commit& c : commits) {
    // A known hash names a commit we already hold, whatever this copy says.
    if (s.end_op.contains(c.hash) || s.waiting.contains(c.hash)) {
      ++report.duplicates;
      continue;
    }
    Commit check = c;
    seal_commit(check);
    if (check.hash != c.hash) {
      return std::unexpected(
          error(ErrorCode::Corrupt, describe(c) + ": hash does not match content"));
    }
    if (!s.ready(c)) {
      if (s.waiting.size() >= max_waiting_commits) {
        return std::unexpected(
            error(ErrorCode::Corrupt, "too many commits with missing dependencies"));
      }
      s.waiting.emplace(c.hash, c);
      continue;
    }
    if (auto r = s.apply_ready(c); !r) return std::unexpected(r.error());
    ++report.applied;
    if (auto r = drain(); !r) return std::unexpected(r.error());
  }
  report.waiting = s.waiting.size();
  return report;
}

}  // namespace kova::doc
