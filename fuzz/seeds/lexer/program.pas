program Demo;
{ brace comment }
(* star comment *)
var
	x: Integer; // line comment
begin
  x := $FF + 1.5e3 - .5 + 1e-5;
  if x <> 0 then WriteLn('it''s', "dq", #13);
  a[1..10] := @p^;
end.
