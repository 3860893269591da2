// The live status records of running processes (zn/livestatus), as the
// status, tasks and pool commands show them.
#pragma once

#include <string>
#include <vector>

#include "Admin.h"
#include "zn/livestatus/LiveStatus.h"

namespace zn::admin {

// Every record of the instance; throws CommandError when the store cannot
// be read.
std::vector<zn::LiveStatusProcess> ReadLiveRecords();

// True for a record whose process runs (or may: another user's).
bool IsLive(const zn::LiveStatusProcess& process);

// "zndemo pid 4242, as of 2024-05-01 10:00:04"
std::string ProcessLabel(const zn::LiveStatusProcess& process);

Json ProcessJson(const zn::LiveStatusProcess& process);  // without its pools and tasks
Json PoolJson(const zn::LiveStatusPool& pool);
Json TaskJson(const zn::LiveStatusTask& task);

// Says that records of ended processes were left behind, when there are.
void NoteEndedRecords(const std::vector<zn::LiveStatusProcess>& processes);

}  // namespace zn::admin
