#include "EngineState.h"

#include <mutex>

#include "Ascii.h"
#include "Builtins.h"

namespace eval {
namespace {

// Texts held in variables (globals and the locals of running calls) and texts
// one AddCode or Eval may produce in total: beyond either, "Out of string
// space". With the 64 MiB limit of a single text they bound the memory code
// can take, however it copies and joins.
constexpr std::size_t kMaxStoredTextBytes = std::size_t{256} << 20;
constexpr std::size_t kMaxTextWorkBytes = std::size_t{1} << 30;

}  // namespace

ScriptError NamedError(ErrorNumber number, const NameRef& name) {
  return ScriptError(number, std::string(DescriptionOf(number)) + ": '" + name.written + "'");
}

void EngineState::StoreText(Value& slot, Value value) {
  const std::size_t added = TextSize(value);
  const std::size_t removed = TextSize(slot);
  if (added > removed && storedTextBytes - removed + added > kMaxStoredTextBytes) {
    throw ScriptError(ErrorNumber::OutOfStringSpace);
  }
  storedTextBytes = storedTextBytes - removed + added;
  slot = std::move(value);
}

Value EngineState::Take(Value& slot) {
  storedTextBytes -= TextSize(slot);
  Value value = std::move(slot);
  slot = Value();
  return value;
}

void EngineState::CountTextBytes(std::size_t bytes) {
  textWorkBytes += bytes;
  if (textWorkBytes > kMaxTextWorkBytes) throw ScriptError(ErrorNumber::OutOfStringSpace);
}

void EngineState::ResolveAnew(std::string_view folded, Resolution& r) const {
  r.generation = generation;
  r.member = 0;
  r.index = 0;
  if (auto it = globalIndex.find(folded); it != globalIndex.end()) {
    r.kind = ResolvedKind::Global;
    r.index = it->second;
  } else if (auto m = FindGlobalMember(folded)) {
    r.kind = ResolvedKind::Member;
    r.index = m->first;
    r.member = m->second;
  } else if (auto o = FindObject(folded)) {
    r.kind = ResolvedKind::Object;
    r.index = *o;
  } else if (auto b = FindBuiltin(folded)) {
    r.kind = ResolvedKind::Builtin;
    r.index = *b;
  } else if (auto c = FindConstant(folded)) {
    r.kind = ResolvedKind::Constant;
    r.index = *c;
  } else {
    r.kind = ResolvedKind::Unknown;
  }
}

std::optional<std::uint32_t> EngineState::FindObject(std::string_view folded) const {
  for (std::uint32_t k = 0; k < objects.size(); ++k) {
    if (objects[k].folded == folded) return k;
  }
  return std::nullopt;
}

std::uint32_t EngineState::NewGlobal(const NameRef& name) {
  const auto slot = static_cast<std::uint32_t>(globals.size());
  globals.push_back(Global{name.written, false, Value(), nullptr, nullptr});
  globalIndex.emplace(name.folded, slot);
  ++generation;
  return slot;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> EngineState::FindGlobalMember(
    std::string_view folded) const {
  // The first object added with its members that has one of this name.
  for (std::uint32_t k = 0; k < objects.size(); ++k) {
    if (!objects[k].addMembers) continue;
    const auto& index = *objects[k].memberIndex;
    if (auto it = index.find(folded); it != index.end()) return std::pair{k, it->second};
  }
  return std::nullopt;
}

std::shared_ptr<const TextMap<std::uint32_t>> MemberIndexOf(const std::shared_ptr<ScriptObject>& object) {
  // One object added to many engines (the library, to every equation's
  // engine) is indexed once; an entry whose object is gone is never matched.
  struct Cached {
    std::weak_ptr<ScriptObject> object;
    const ScriptObject* address = nullptr;
    std::shared_ptr<const TextMap<std::uint32_t>> index;
  };
  static std::mutex mutex;
  static std::vector<Cached> cache;
  constexpr std::size_t kMaxCachedObjects = 16;
  const std::lock_guard lock(mutex);
  for (const Cached& c : cache) {
    if (c.address == object.get() && c.object.lock() == object) return c.index;
  }
  auto index = std::make_shared<TextMap<std::uint32_t>>();
  const std::span<const MemberInfo> members = object->Members();
  for (std::uint32_t k = 0; k < members.size(); ++k) index->try_emplace(FoldName(members[k].name), k);
  std::erase_if(cache, [](const Cached& c) { return c.object.expired(); });
  if (cache.size() >= kMaxCachedObjects) cache.erase(cache.begin());
  cache.push_back(Cached{object, object.get(), index});
  return index;
}

bool EngineState::AssignExisting(const NameRef& name, Resolution& r, Value& value) {
  Resolve(name, r);
  switch (r.kind) {
    case ResolvedKind::Global: {
      Global& g = globals[r.index];
      if (g.isFunction) throw NamedError(ErrorNumber::IllegalAssignment, name);
      Store(g.value, std::move(value));
      return true;
    }
    case ResolvedKind::Member:
      if (objects[r.index].members[r.member].writable) {
        AssignMember(r.index, r.member, value);
        return true;
      }
      return false;
    case ResolvedKind::Constant:
      throw NamedError(ErrorNumber::IllegalAssignment, name);
    default:
      return false;
  }
}

void EngineState::NewVariable(const NameRef& name, Value value) {
  // Checked before the name appears, so a failure leaves no new name behind.
  Value stored;
  Store(stored, std::move(value));
  globals[NewGlobal(name)].value = std::move(stored);
}

Value EngineState::InvokeMember(std::uint32_t object, std::uint32_t member, std::span<const Value> args) {
  const Object& o = objects[object];
  const MemberInfo& info = o.members[member];
  if (args.size() < static_cast<std::size_t>(info.minArgs) ||
      (info.maxArgs != MemberInfo::kAnyCount && args.size() > static_cast<std::size_t>(info.maxArgs))) {
    throw ScriptError(ErrorNumber::WrongNumberOfArguments);
  }
  // Keep the object alive even if the call could replace it.
  const std::shared_ptr<ScriptObject> keep = o.object;
  return keep->Invoke(member, args);
}

void EngineState::AssignMember(std::uint32_t object, std::uint32_t member, const Value& value) {
  const Object& o = objects[object];
  if (!o.members[member].writable) throw ScriptError(ErrorNumber::WrongNumberOfArguments);
  const std::shared_ptr<ScriptObject> keep = o.object;
  keep->Assign(member, value);
}

}  // namespace eval
