% f = only_if (yes, f): f when yes, else [] (a row that side_by_side leaves
% out).
function f = only_if (yes, f)
  if (! yes)
    f = [];
  end
end
