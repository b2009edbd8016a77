#Formatver	3
#Hclass	rlc1
#DParam 
	src`f	1
	res`r	5
	ind`i	1
	cap`c	0.1
#DIncond
	node`p[3].e_indep_state	0
	node`p[4].f_indep_state	0
