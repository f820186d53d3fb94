// The identifying archive "zzzz.saf": the program recognises its data
// folder by the SHA-1 of this archive, so its bytes never change by accident.
#pragma once
#include "saf_writer.h"

std::vector<ArchiveMember> identity_members();
