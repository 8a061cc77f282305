% settings = plain_loops (): the environment that puts the plug-ins on their
% plain loops and one thread (HMM_PLUGINS_VECTOR_UNIT=plain,
% HMM_PLUGINS_THREADS=1), the reference every fast path must match bit for
% bit; for median_cpu's settings.
function settings = plain_loops ()
  settings = {'HMM_PLUGINS_VECTOR_UNIT', 'plain', 'HMM_PLUGINS_THREADS', '1'};
end
