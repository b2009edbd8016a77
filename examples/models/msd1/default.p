#Formatver	3
#Hclass	msd
#DParam 
	f`e	1
	m`i	1
	k`c	0.025
	d`r	0.5
#DIncond
	v`p[2].e_indep_state	0
	v`p[3].f_indep_state	0
