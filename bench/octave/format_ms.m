% text = format_ms (seconds): milliseconds with three decimals, '-' for NaN.
function text = format_ms (seconds)
  if (isnan (seconds))
    text = '-';
  else
    text = sprintf ('%.3f', 1000 * seconds);
  end
end
