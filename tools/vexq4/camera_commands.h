// What the commands do once parsed, each on the open connection of a
// camera (search and grabbers on none), returning the exit status. A
// failure is reported on the host's console as it happens.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host_properties.h"
#include "vexq4/model/status.h"

namespace vexq4::cli {

class Host;

struct Assignment {
  const hosts::Property* property;
  hosts::Checked value;
};

int RunGet(Host& host, const std::vector<const hosts::Property*>& properties);
int RunSet(Host& host, const std::vector<Assignment>& assignments);
int RunList(Host& host);
int RunIdentity(Host& host);
int RunOnePush(Host& host);

// A model operation under the progress bar, named `progress` there.
int RunWithProgress(Host& host, std::string_view what, std::string_view progress,
                    int (CVexCamInterface::*operation)());
int RunStore(Host& host, int area);
int RunLoad(Host& host, int area);

int RunSaveSettings(Host& host, const std::string& file);
int RunLoadSettings(Host& host, const std::string& file);
int RunReport(Host& host, const std::string& file);
int RunShadingSave(Host& host, const std::string& file);
int RunShadingLoad(Host& host, const std::string& file);

// COM ports first..last, one after the other, until a camera answers.
int RunSearch(Host& host, int first, int last);
// The frame grabbers and clallserial ports the libraries report.
int RunGrabbers(Host& host);

}  // namespace vexq4::cli
