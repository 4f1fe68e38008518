// The running engine, its outline and its prepared pages as a report's script sees them (the
// scope objects Engine, Outline and PreviewPages): small objects that forward to the report's
// running engine. They exist with the report's script; their members work while the report runs
// and raise outside a run.
#pragma once

#include "platform/component.h"

namespace pagewright {

class IpgwRunningEngine;
class TpgwReport;
class TvmScript;

class TpgwScriptEngineObject : public TPersistent {
 public:
  explicit TpgwScriptEngineObject(TpgwReport& report) : FReport(report) {}
  TpgwReport& Report() const { return FReport; }
  // The engine that runs the report; raises "The report is not running" outside a run.
  IpgwRunningEngine& Running() const;

 private:
  TpgwReport& FReport;
};

// Engine: the band engine (script class TpgwEngine, members on TpgwCustomEngine).
class TpgwScriptEngine final : public TpgwScriptEngineObject {
 public:
  using TpgwScriptEngineObject::TpgwScriptEngineObject;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
};

// Outline: the prepared report's outline (script class TpgwOutline, on TpgwCustomOutline).
class TpgwScriptOutline final : public TpgwScriptEngineObject {
 public:
  using TpgwScriptEngineObject::TpgwScriptEngineObject;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
};

// PreviewPages: the prepared pages (script class TpgwPreviewPages).
class TpgwScriptPreviewPages final : public TpgwScriptEngineObject {
 public:
  using TpgwScriptEngineObject::TpgwScriptEngineObject;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
};

// Engine.GetPostProcessor: the post-processor of the running report's prepared pages (script
// class TpgwPostProcessor).
class TpgwScriptPostProcessor final : public TpgwScriptEngineObject {
 public:
  using TpgwScriptEngineObject::TpgwScriptEngineObject;
  static const TClassInfo& StaticClassInfo();
  const TClassInfo& ClassInfo() const override;
};

// Registers the classes and their members in a script (the report module does it).
void AddEngineClasses(TvmScript& script);

}  // namespace pagewright
