% text = format_ms (seconds): milliseconds with two decimals, '-' for NaN.
function text = format_ms (seconds)
  if (isnan (seconds))
    text = '-';
  else
    text = sprintf ('%.2f', 1000 * seconds);
  end
end
