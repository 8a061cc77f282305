function [assignment, cost] = bestmatch_reference (costs)
  ## Least-cost assignment by Munkres' method in plain m-code: the plug-in's
  ## cost preparation, step machine and scan orders, with the starred and
  ## primed zeros kept as M-by-N logical matrices, for a bit-for-bit
  ## comparison. Element-wise updates are vectorised: each element is one
  ## rounding either way. Takes valid costs only (no NaN, nothing negative).
  [M, N] = size (costs);
  assignment = zeros (M, 1);
  cost = 0;
  w = costs;
  if (any (! isfinite (w(:))))
    finite = w(isfinite (w));
    if (isempty (finite))
      return;
    endif
    replacement = 10;
    if (max (finite) > 0)
      replacement = max (finite) * 10 * numel (w);
    endif
    w(isinf (w)) = replacement;
  endif

  s = struct ("w", w, "starred", false (M, N), "primed", false (M, N),
              "colCov", false (1, N), "rowCov", false (M, 1));
  ## The least value of a row (column) does not depend on the scan order;
  ## only the sign of a zero could, and no result depends on that.
  if (M <= N)
    s.w = s.w - min (s.w, [], 2);
    for i = 1:M
      j = find (s.w(i,:) == 0 & ! s.colCov, 1);
      s.starred(i,j) = true;  # no-ops when the row has no such zero
      s.colCov(j) = true;
    endfor
  else
    s.w = s.w - min (s.w, [], 1);
    for j = 1:N
      i = find (s.w(:,j) == 0 & ! s.rowCov, 1);
      if (! isempty (i))
        s.starred(i,j) = true;
        s.colCov(j) = true;
        s.rowCov(i) = true;
      endif
    endfor
    s.rowCov(:) = false;
  endif

  step = "2b";
  while (! strcmp (step, "end"))
    switch (step)
      case "2a"
        s.colCov(any (s.starred, 1)) = true;
        step = "2b";
      case "2b"
        step = ifelse_step (nnz (s.colCov) == min (M, N), "end", "3");
      case "3"
        [s, step, row, col] = step3 (s);
      case "4"
        s = step4 (s, row, col);
        step = "2a";
      case "5"
        h = min (s.w(! s.rowCov, ! s.colCov)(:));
        s.w(s.rowCov,:) = s.w(s.rowCov,:) + h;
        s.w(:,! s.colCov) = s.w(:,! s.colCov) - h;
        step = "3";
    endswitch
  endwhile

  for i = 1:M
    j = find (s.starred(i,:), 1);
    if (! isempty (j) && isfinite (costs(i,j)))
      assignment(i) = j;
      cost = costs(i,j) + cost;
    endif
  endfor
endfunction

function step = ifelse_step (condition, yes, no)
  step = no;
  if (condition)
    step = yes;
  endif
endfunction

function [s, step, row, col] = step3 (s)
  ## Passes over the uncovered columns, priming the first uncovered zero of each.
  [row, col, step] = deal (0, 0, "5");
  found = true;
  while (found)
    found = false;
    for j = 1:columns (s.w)
      ## A column uncovered in this pass is visited in it when it lies ahead.
      i = find (s.w(:,j) == 0 & ! s.rowCov & ! s.colCov(j), 1);
      if (isempty (i))
        continue;
      endif
      s.primed(i,j) = true;
      star = find (s.starred(i,:), 1);
      if (isempty (star))
        [row, col, step] = deal (i, j, "4");
        return;
      endif
      s.rowCov(i) = true;
      s.colCov(star) = false;
      found = true;
    endfor
  endwhile
endfunction

function s = step4 (s, row, col)
  ## Along the path each star in the column of a prime gives way to the prime
  ## in its row.
  next = s.starred;
  next(row,col) = true;
  j = col;
  i = find (s.starred(:,j), 1);
  while (! isempty (i))
    next(i,j) = false;
    j = find (s.primed(i,:), 1);
    next(i,j) = true;
    i = find (s.starred(:,j), 1);
  endwhile
  s.starred = next;
  s.primed(:) = false;
  s.rowCov(:) = false;
endfunction
