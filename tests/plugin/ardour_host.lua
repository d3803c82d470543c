-- Run by Ardour's headless Lua interpreter: a new project on the dummy audio engine, the plug-ins Ardour
-- found on its VST path with their programs, then the module instantiated, its parameters listed,
-- and inserted on a stereo track of the running project; then the same for the LV2 version.
ARDOUR.config():set_hide_dummy_backend(false)
AudioEngine:set_backend("None (Dummy)", "", "")
AudioEngine:set_sample_rate(48000)
local project = create_session(arg[1], "host-test", 48000)
assert(project, "no project")
for info in ARDOUR.LuaAPI.list_plugins():iter() do
  if info.type == ARDOUR.PluginType.LXVST then
    print("plugin", info.name, info.unique_id, info.creator, info.category)
    for preset in info:get_presets():iter() do print("program", preset.label) end
  end
end
local processor = ARDOUR.LuaAPI.new_plugin(project, "Lumetra", ARDOUR.PluginType.LXVST, "")
assert(not processor:isnil(), "Ardour could not instantiate the module")
local plugin = processor:to_insert():plugin(0)
for j = 0, plugin:parameter_count() - 1 do print("parameter", plugin:parameter_label(j)) end
local track = project:new_audio_track(2, 2, nil, 1, "analyzer", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
print("inserted", track:add_processor_by_index(processor, 0, nil, true), AudioEngine:running())

-- The LV2 bundle, when one is on Ardour's LV2 path (arg[2] names its plug-in): found with its
-- presets, its ports as parameters, and inserted on a second track.
if arg[2] then
  for info in ARDOUR.LuaAPI.list_plugins():iter() do
    if info.type == ARDOUR.PluginType.LV2 and info.unique_id == arg[2] then
      print("lv2plugin", info.name, info.unique_id, info.creator, info.category)
      for preset in info:get_presets():iter() do print("lv2preset", preset.label) end
    end
  end
  local lv2 = ARDOUR.LuaAPI.new_plugin(project, arg[2], ARDOUR.PluginType.LV2, "")
  assert(not lv2:isnil(), "Ardour could not instantiate the LV2 plug-in")
  local lv2plugin = lv2:to_insert():plugin(0)
  for j = 0, lv2plugin:parameter_count() - 1 do
    if lv2plugin:parameter_is_control(j) then
      print("lv2parameter", lv2plugin:parameter_label(j), lv2plugin:parameter_is_input(j))
    end
  end
  local lv2track = project:new_audio_track(2, 2, nil, 1, "lv2 analyzer", ARDOUR.PresentationInfo.max_order,
                                           ARDOUR.TrackMode.Normal, true):front()
  print("lv2inserted", lv2track:add_processor_by_index(lv2, 0, nil, true), AudioEngine:running())
end
close_session()
