#Formatver	3
#Hclass	gears1
#DParam 
	tq`e	1
	in1`i	0.01
	in2`i	0.05
	gear`n	2
	b`r	0.02
#DIncond
	j2`p[2].e_indep_state	0
