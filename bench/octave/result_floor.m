% f = result_floor (kind, sizes): a call that creates results of the given
% sizes (rows, columns, pages per row) and writes every element once, as
% Octave's own arrays (kind 1, as the plug-ins create them) or through the
% MEX API (kind 0, which Octave copies on return): the least a plug-in
% returning such results can cost with each kind. For median_cpu.
function f = result_floor (kind, sizes)
  f = @() made (kind, sizes);
end

function r = made (kind, sizes)
  out = cell (1, rows (sizes));
  [out{:}] = reference_arrays (kind, 1, sizes);
  r = [];
end
